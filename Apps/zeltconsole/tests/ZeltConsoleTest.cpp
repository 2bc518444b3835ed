// The operator console run as a child process against a small responder on loopback.
#include "Loopback.h"

#include "SuiteProtocol/ChannelDirectory.h"
#include "SuiteProtocol/Sentence.h"
#include "Udp/UdpReceiver.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace UdpTesting;

namespace
{

struct ConsoleRun
{
    int status = -1;
    std::string out;
};

std::string quoted(const std::string& arg)
{
    std::string text = "'";
    for (char c : arg)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

ConsoleRun shell(const std::string& line)
{
    ConsoleRun run;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

ConsoleRun console(const std::vector<std::string>& args)
{
    std::string line = ZELTCONSOLE_PATH;
    for (const std::string& arg : args)
        line += " " + quoted(arg);
    return shell(line + " 2>/dev/null");
}

// Stands in for the logger's command port: records each sentence and answers the status query as the
// logger does while it is not logging.
class Responder
{
public:
    Responder()
    {
        m_collector.wire(m_receiver);
        m_receiver.SetDataCallback(
            [this](const char* data, std::uint64_t count)
            {
                const std::string sentence(data, count);
                if (sentence == SuiteProtocol::sentenceText(SuiteProtocol::kSentenceStatus))
                {
                    SuiteProtocol::sendSentence(m_loop.io, SuiteProtocol::kLoggingOff.data(),
                                                SuiteProtocol::kLoggingOff.size(),
                                                SuiteProtocol::statusDestination());
                    SuiteProtocol::sendSentence(m_loop.io, "bin\x01\n\r", 6,
                                                SuiteProtocol::statusDestination());
                }
                std::lock_guard<std::mutex> guard(m_lock);
                m_received.push_back(sentence);
            });
        m_receiver.Start(0);
        m_loop.start();
    }

    std::string port() const { return std::to_string(m_receiver.LocalPort()); }

    std::vector<std::string> received()
    {
        eventually(
            [&]
            {
                std::lock_guard<std::mutex> guard(m_lock);
                return !m_received.empty();
            });
        std::lock_guard<std::mutex> guard(m_lock);
        return m_received;
    }

private:
    IoThread m_loop;
    Collector m_collector;
    std::mutex m_lock;
    std::vector<std::string> m_received;
    Udp::UdpReceiver m_receiver{*m_loop.io};
};

} // namespace

TEST(ZeltConsole, StatusQueryPrintsEachAnswerFromTheStatusPort)
{
    Responder logger;
    const ConsoleRun run = console({"--port", logger.port(), "status"});

    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "$PZELT,162,OFF\nbin\\x01\n");
    EXPECT_EQ(logger.received(), std::vector<std::string>{"$PZELT,15\n\r"});
}

TEST(ZeltConsole, EachCommandSendsItsSentence)
{
    struct Case
    {
        std::vector<std::string> args;
        std::string sentence;
    };
    const std::vector<Case> cases{
        {{"start", "D:\\rtcm", "base.rtcm", "60", "3011"}, "$PZELT,160,D:\\rtcm,base.rtcm,60,3011\n\r"},
        {{"stop"}, "$PZELT,161\n\r"},
        {{"reread"}, "$PZELT,6\n\r"},
        {{"terminate"}, "$PZELT,24\n\r"},
        {{"raw", "$PZELT,7,a\\\\b\\x00\\n\\r"}, std::string("$PZELT,7,a\\b\0\n\r", 15)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.sentence);
        Responder logger;
        std::vector<std::string> args{"--no-wait", "--port", logger.port()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(console(args).status, 0);
        EXPECT_EQ(logger.received(), std::vector<std::string>{c.sentence});
    }
}

TEST(ZeltConsole, NoAnswerWithinTheTimeoutExitsWith1)
{
    Listener silent;
    const ConsoleRun run = console({"--port", std::to_string(silent.port()), "--timeout", "200", "stop"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    std::string got;
    EXPECT_TRUE(silent.receive(got));
    EXPECT_EQ(got, "$PZELT,161\n\r");
}

TEST(ZeltConsole, AStartWithoutAnswerWasSentButARefusedSentenceFails)
{
    std::uint16_t closed = 0;
    {
        closed = Listener().port();
    }
    Listener silent;
    const std::vector<std::string> start{"--timeout", "200", "start", "D:\\rtcm", "base.rtcm", "60", "3011"};
    const auto to = [&](std::uint16_t port, std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", std::to_string(port)});
        return console(args);
    };
    const ConsoleRun sent = to(silent.port(), start);
    EXPECT_EQ(sent.status, 0);
    EXPECT_NE(sent.out.find("logging begins with the first datagram on data port 3011"), std::string::npos);
    EXPECT_EQ(to(closed, start).status, 3);
    EXPECT_EQ(to(closed, {"stop"}).status, 3);
}

TEST(ZeltConsole, AStatusPortHeldByAnotherListenerExitsWith3)
{
    Listener other;
    Listener logger;
    const ConsoleRun run = console({"--port", std::to_string(logger.port()), "--listen",
                                    std::to_string(other.port()), "--timeout", "200", "status"});
    EXPECT_EQ(run.status, 3);
    std::string got;
    EXPECT_FALSE(logger.receive(got, std::chrono::milliseconds(100)));
}

TEST(ZeltConsole, BadUsageExitsWith2)
{
    const std::vector<std::vector<std::string>> cases{
        {},
        {"launch"},
        {"status", "now"},
        {"start", "D:\\rtcm", "base.rtcm", "60"},
        {"start", "D:\\rtcm", "a,b.rtcm", "60", "3011"},
        {"start", "D:\\rtcm", "base.rtcm", "sixty", "3011"},
        {"--port", "70000", "status"},
        {"--timeout"},
        {"--bogus", "status"},
        {"raw", "\\q"},
        {"raw", "\\x4"},
        {"--name", "NOSUCHPROCESS", "status"},
        {"serve", "now"},
        {"serve", "--listen", "8080"},
        {"--logs", "/tmp", "status"},
    };
    for (const auto& args : cases)
    {
        std::string shown;
        for (const auto& arg : args)
            shown += arg + " ";
        EXPECT_EQ(console(args).status, 2) << shown;
    }
}

TEST(ZeltConsole, HelpExplainsEveryCommandWithAnExample)
{
    const ConsoleRun run = console({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* command : {"start", "stop", "status", "reread", "terminate", "raw", "watch", "serve"})
        EXPECT_NE(run.out.find(std::string("Example: zeltconsole ") + command), std::string::npos) << command;
}

TEST(ZeltConsole, WatchRedrawsTheSnapshotInATerminalAndSaysWhenItIsStaleMissingStuckOrWithoutData)
{
    const std::string path = ::testing::TempDir() + "zeltwatch-" + std::to_string(::getpid()) + ".json";
    std::ifstream example(STATUS_SNAPSHOT_PATH);
    const std::string text((std::istreambuf_iterator<char>(example)), {});
    const auto write = [&](double age, const std::string& from = {}, const std::string& to = {})
    {
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        std::string snapshot = text;
        snapshot.replace(snapshot.find("1796847303.123"), 14, std::to_string(now - age));
        snapshot.replace(snapshot.find(from), from.size(), to);
        std::ofstream(path + ".tmp") << snapshot;
        std::filesystem::rename(path + ".tmp", path);
    };
    const std::string tmux = "tmux -L zeltwatch-" + std::to_string(::getpid());
    const auto shows = [&](const std::string& expected)
    {
        return eventually(
            [&]
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return shell(tmux + " capture-pane -p").out.find(expected) != std::string::npos;
            });
    };
    write(0);
    EXPECT_EQ(console({"watch", "--once", "--status", path}).status, 0);
    ASSERT_EQ(std::system((tmux + " new-session -d -x 120 -y 40 " +
                           quoted(std::string(ZELTCONSOLE_PATH) + " watch --status " + quoted(path)))
                              .c_str()),
              0);
    EXPECT_TRUE(shows("File           C:\\rtcm\\20261209\\base_2015.rtcm"));
    EXPECT_TRUE(shows("Rate           10.0 datagrams/s, 0.8 kB/s"));
    EXPECT_TRUE(shows("Last quality   completeness 97.2 %, G 9 R 7 satellites, 1 gap (60 s)"));
    EXPECT_TRUE(shows("1427 at 2026-12-09 20:10:00 UTC: RTCM logger: RTCM data received again after 23 s"));
    EXPECT_TRUE(shows("Input          no data for "));
    EXPECT_TRUE(shows("Disk           3.5 GB free, 38.5 days left at the current rate"));
    EXPECT_TRUE(
        shows("Retention      last run 2026-12-09 00:00:05 UTC: deleted 7 files of 1 log file (2.3 MB), "
              "kept 1 older log file"));
    write(0, "\"stuck\": false", "\"stuck\": true");
    EXPECT_TRUE(shows("zeltconsole: the logger is stuck"));
    write(60);
    EXPECT_TRUE(shows(" s old: the logger is not running, or is stuck"));
    EXPECT_EQ(console({"watch", "--once", "--status", path}).status, 1);
    std::filesystem::remove(path);
    EXPECT_TRUE(shows("zeltconsole: no status snapshot at " + path));
    write(0);
    EXPECT_TRUE(shows("Since start    51,234 datagrams, 4,098.8 kB, 4 files, 0 kernel drops"));
    shell(tmux + " kill-server");
    std::filesystem::remove(path);
}
