// The logger under a notify socket: ready once it can work, its state, the engine's beats (and none while
// the engine is held), the stop, and a socket that goes away.
#include "support/LoggerFixture.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <regex>

using namespace VivozoTest;
using LoggerService = LoggerFixture;

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

static long count(const std::vector<std::string>& seen, std::string_view text)
{
    return std::count(seen.begin(), seen.end(), text);
}

// A datagram socket bound at path, as the service manager's, read with a short timeout.
static int listenAt(const std::string& path)
{
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    const timeval poll{0, 50000};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &poll, sizeof poll);
    return socket;
}

TEST_F(LoggerService, TellsTheServiceManagerItsStateAndBeatsOnlyWhileTheEngineRuns)
{
    const std::string path = m_suite.root() + "/notify";
    int socket = listenAt(path);
    ScopedEnvironment notify("NOTIFY_SOCKET", path), interval("WATCHDOG_USEC", "1000000"),
        anyPid("WATCHDOG_PID", std::nullopt);
    m_logger = std::make_unique<LoggerProcess>(m_suite.root(), std::vector<std::string>{"-debug", "31"});
    EXPECT_EQ(notifications(socket, 20s, "READY=1").back(), "READY=1\nSTATUS=waiting for a start");
    const std::string udp = readFile("/proc/net/udp"); // data port 3011 and command port 5081 bound by then
    EXPECT_TRUE(udp.find(":0BC3 ") != std::string::npos && udp.find(":13D9 ") != std::string::npos) << udp;
    const std::vector<std::string> beats = notifications(socket, 3s);
    EXPECT_NEAR(count(beats, "WATCHDOG=1"), 6, 2) << "a beat every half second";
    command({"start", "C:\\rtcm", "base.rtcm", "60", "3011"});
    send(std::vector<std::string>(1200, "datagram"));
    // Once all are written, a line says so, with the rate and the age of the last.
    const std::regex logging(
        R"(STATUS=logging C:\\rtcm\\base\.rtcm: 1,200 datagrams, 9\.6 kB, \d+\.\d/s, last \d\.\d s ago)");
    bool told = false;
    for (const auto end = std::chrono::steady_clock::now() + 10s;
         !told && std::chrono::steady_clock::now() < end;)
        told = std::regex_match(notifications(socket, 2s, "STATUS=logging").back(), logging);
    EXPECT_TRUE(told);

    // The other threads go on, the beats stop until the engine runs again.
    {
        const EngineHold hold(m_logger->pid());
        if (!hold.failure().empty())
            GTEST_SKIP() << "the engine cannot be held: " << hold.failure();
        notifications(socket, 600ms); // a beat on its way before the hold
        const std::vector<std::string> held = notifications(socket, 3s);
        EXPECT_EQ(count(held, "WATCHDOG=1"), 0);
        EXPECT_TRUE(std::any_of(held.begin(), held.end(),
                                [](auto& seen) { return seen.starts_with("STATUS=logging"); }));
    }
    EXPECT_GE(count(notifications(socket, 2s), "WATCHDOG=1"), 2);

    // A manager that goes away stops nothing, nor one that stops reading (its queue fills in seconds);
    // once it reads again it hears the stop.
    std::filesystem::remove(path);
    close(socket);
    send({"after the socket went"});
    expectStatus(kOn);
    socket = listenAt(path);
    std::this_thread::sleep_for(6s);
    send({"unread"});
    expectStatus(kOn);
    command({"terminate"});
    EXPECT_EQ(notifications(socket, 10s, "STOPPING=1").back(), "STOPPING=1\nSTATUS=stopping");
    EXPECT_EQ(notifications(socket, 10s, "EXTEND").back(), "EXTEND_TIMEOUT_USEC=90000000");
    EXPECT_EQ(m_logger->waitExit(30s), 0) << m_logger->output();
    close(socket);
    EXPECT_EQ(readFile(native("C:\\rtcm\\base.rtcm")).size(), 1200 * 8 + 21 + 6u);
}
