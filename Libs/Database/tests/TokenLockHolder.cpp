// A second process for the lock tests: takes the token lock file's byte-range lock, says "locked"
// on its standard output and keeps the lock until its standard input closes. Says "busy" when the
// lock stays taken for five seconds.
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s LOCKFILE\n", argv[0]);
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_CREAT, 0666);
    struct flock range = {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 256;
    if (fd < 0)
    {
        std::perror("open");
        return 1;
    }
    int tries = 0;
    while (::fcntl(fd, F_OFD_SETLK, &range) != 0)
    {
        if (++tries == 50)
        {
            std::printf("busy\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("locked\n");
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0)
    {
    }
    ::close(fd);
    return 0;
}
