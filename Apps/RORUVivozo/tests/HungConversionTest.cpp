// The built logger with a "makerinex.bat" that never ends: conversions run one at a time in the order
// their files closed, each is ended with every program it started at its time limit, and none
// outlives the logger.
#include "support/LoggerFixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

// Notes any earlier one still alive, records "<pid> <its child's pid> <log file>" and hangs in a child.
void installHangingConverter(const std::string& root)
{
    std::ofstream(root + "/bin/makerinex.bat")
        << "#!/bin/sh\n"
        << "for pid in $(cut -d' ' -f1 '" << root << "/hung' 2>/dev/null); do kill -0 \"$pid\" 2>/dev/null &&"
        << " echo \"$pid\" >> '" << root << "/overlaps'; done\n"
        << "sleep 1000 &\n"
        << "printf '%s %s %s\\n' $$ $! \"$1\" >> '" << root << "/hung'\n"
        << "wait\n";
}

// Leaves a program in its group and one in a session of its own running, records "<leader> <them> <file>",
// and for a file named hang waits for them past its time limit.
void installLeavingConverter(const std::string& root)
{
    std::ofstream(root + "/bin/makerinex.bat")
        << "#!/bin/sh\nsleep 1000 &\nchild=$!\nsetsid sleep 1000 &\n"
        << "printf '%s %s %s %s\\n' $$ $child $! \"$1\" >> '" << root << "/left'\n"
        << "case \"$1\" in *hang*) wait;; esac\n";
}

// Alive, and not merely a zombie waiting for init.
bool alive(const std::string& pid)
{
    const std::string stat = readFile("/proc/" + pid + "/stat");
    return !stat.empty() && stat.at(stat.rfind(')') + 2) != 'Z';
}

using HungConversion = LoggerFixture;

TEST_F(HungConversion, OneAtATimeInCloseOrderEachEndedAtItsLimitNoneOutlivingTheLogger)
{
    installHangingConverter(m_suite.root());
    setToken("RTCM_CONVERSION_TIME_LIMIT", 2);
    startLogger();
    const std::vector<std::string> frames = demoFrames();
    // Four files a second apart: the first ones run into their limit, the last still wait at the end.
    const std::vector<std::string> files = {"C:\\rtcm\\1.rtcm", "C:\\rtcm\\2.rtcm", "C:\\rtcm\\3.rtcm",
                                            "C:\\rtcm\\4.rtcm"};
    for (const std::string& file : files)
    {
        command({"start", "C:\\rtcm", file.substr(8), "60", "3011"});
        send(frames);
        std::this_thread::sleep_for(1s);
    }
    const auto terminating = std::chrono::steady_clock::now();
    EXPECT_EQ(terminate(), 0);
    // At termination the conversions get as long as one may take.
    EXPECT_LT(std::chrono::steady_clock::now() - terminating, 2s + 3s);

    std::istringstream hung(readFile(m_suite.root() + "/hung"));
    std::size_t started = 0;
    for (std::string leader, child, file; hung >> leader >> child >> file; ++started)
    {
        ASSERT_LT(started, files.size());
        EXPECT_EQ(file, files[started]) << "not in the order the files closed";
        EXPECT_FALSE(alive(leader) || alive(child)) << "a conversion outlived the logger";
    }
    EXPECT_GE(started, 2u);
    EXPECT_EQ(readFile(m_suite.root() + "/overlaps"), "") << "two conversions ran at once";
    const std::string output = m_logger->output();
    EXPECT_GE(m_logger->occurrences("makerinex.bat ran past its time limit of 2 s"), 1u) << output;
    // Each file is reported once: ended at its limit, ended with the logger, or never begun.
    for (const std::string& file : files)
        EXPECT_EQ(m_logger->occurrences("not converted to RINEX:\n\t         " + file + ":"), 1u) << output;
}

// A converter that finishes but leaves programs running, and one ended at its limit whose program
// escaped into a session of its own: nothing of either outlives its conversion, and the trace names
// what was ended.
TEST_F(HungConversion, NoProgramAConversionStartsOutlivesItsConversion)
{
    installLeavingConverter(m_suite.root());
    setToken("RTCM_CONVERSION_TIME_LIMIT", 2);
    startLogger();
    for (const std::string file : {"done.rtcm", "hang.rtcm"})
    {
        command({"start", "C:\\rtcm", file, "60", "3011"});
        send(demoFrames());
    }
    command({"stop"});
    ASSERT_TRUE(m_logger->waitForOutput(
        "ran past its time limit of 2 s and was ended with every program it started", 30s))
        << m_logger->output();
    std::vector<std::string> pids;
    std::istringstream left(readFile(m_suite.root() + "/left"));
    for (std::string leader, child, session, file; left >> leader >> child >> session >> file;)
    {
        pids.insert(pids.end(), {leader, child, session});
        const std::string ended =
            file.find("hang") != std::string::npos
                ? "Info: Ended with the conversion of " + file + ": 3 programs: "
                : "WARNING: Ended what the conversion of " + file + " left running: 2 programs: ";
        const std::size_t at = m_logger->output().find(ended);
        ASSERT_NE(at, std::string::npos) << m_logger->output();
        const std::string line = m_logger->output().substr(at, m_logger->output().find('\n', at) - at);
        EXPECT_EQ(line.find(leader + " (makerinex.bat)") != std::string::npos, ended[0] == 'I') << line;
        EXPECT_NE(line.find(child + " (sleep)"), std::string::npos) << line;
        EXPECT_NE(line.find(session + " (sleep)"), std::string::npos) << line;
    }
    ASSERT_EQ(pids.size(), 6u);
    const auto noneAlive = [&] { return std::ranges::none_of(pids, alive); };
    EXPECT_TRUE(eventually(noneAlive, 5s)) << "a converter's program outlived its conversion";
    EXPECT_EQ(terminate(), 0);
    EXPECT_TRUE(noneAlive());
}

} // namespace
