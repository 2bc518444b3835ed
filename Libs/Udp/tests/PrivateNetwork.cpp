// Moves a test process that binds the suite's fixed ports into a network namespace of its own, with
// only a loopback interface, so that it meets neither a logger running on this machine nor another
// test. Without the privilege for it the process stays where it is and relies on the CTest lock.
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace
{

bool enterPrivateNetwork()
{
    // Before main, so every thread and child of the test starts inside the namespace.
    if (::unshare(CLONE_NEWNET) != 0)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

[[maybe_unused]] const bool privateNetwork = enterPrivateNetwork();

} // namespace
