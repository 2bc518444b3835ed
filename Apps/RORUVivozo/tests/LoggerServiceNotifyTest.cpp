// The logger under a notify socket: ready once it can work, its state, the engine's beats, the stop.
#include "support/LoggerFixture.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

using namespace VivozoTest;

// Every notification that arrives within the span, or until one starts with the awaited text.
static std::vector<std::string> notifications(int socket, Millis span, std::string_view awaited = "\n")
{
    std::vector<std::string> seen{""}; // the last one is empty when none came
    char buffer[4096];
    for (const auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;)
    {
        const ssize_t n = recv(socket, buffer, sizeof buffer, 0);
        if (n > 0 && seen.emplace_back(buffer, static_cast<std::size_t>(n)).starts_with(awaited))
            break;
    }
    return seen;
}

TEST_F(LoggerFixture, TellsTheServiceManagerItsStateAndBeatsWhileRunning)
{
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    const std::string path = m_suite.root() + "/notify";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const timeval poll{0, 50000};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &poll, sizeof poll);
    ScopedEnvironment notify("NOTIFY_SOCKET", path), interval("WATCHDOG_USEC", "1000000"),
        anyPid("WATCHDOG_PID", std::nullopt);
    m_logger = std::make_unique<LoggerProcess>(m_suite.root(), std::vector<std::string>{"-debug", "31"});
    EXPECT_EQ(notifications(socket, 20s, "READY=1").back(), "READY=1\nSTATUS=waiting for a start");
    const std::string udp = readFile("/proc/net/udp"); // data port 3011 and command port 5081 bound by then
    EXPECT_TRUE(udp.find(":0BC3 ") != std::string::npos && udp.find(":13D9 ") != std::string::npos) << udp;
    const std::vector<std::string> beats = notifications(socket, 3s);
    EXPECT_NEAR(std::count(beats.begin(), beats.end(), "WATCHDOG=1"), 6, 2) << "a beat every half second";
    command({"start", "C:\\rtcm", "base.rtcm", "60", "3011"});
    send({"first datagram"});
    EXPECT_EQ(notifications(socket, 10s, "STATUS=logging").back(), "STATUS=logging C:\\rtcm\\base.rtcm");
    command({"terminate"});
    EXPECT_EQ(notifications(socket, 10s, "STOPPING=1").back(), "STOPPING=1\nSTATUS=stopping");
    EXPECT_EQ(m_logger->waitExit(30s), 0) << m_logger->output();
    close(socket);
}
