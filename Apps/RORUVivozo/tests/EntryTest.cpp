// The built program: its banner, option errors and termination on SIGINT and SIGTERM.
#include "support/ChildProcess.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;

// A private root, so that nothing the program writes lands in the machine's own /c.
class Entry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vivozo-entry-XXXXXX";
        root = ::mkdtemp(pattern);
        environment = {"ZELT_ROOT=" + root, "ODBCINI=" + root + "/missing.ini", "ODBCSYSINI=" + root};
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    std::string root;
    std::vector<std::string> environment;
};

TEST_F(Entry, EndsWithStatusZeroOnTerminationAndInterrupt)
{
    const struct
    {
        int signalNumber;
        const char* text;
    } cases[] = {{SIGTERM, "\nCleaning up after termination by OP system.\n"},
                 {SIGINT, "\nCleaning up after ctrl-C\n"}};
    for (const auto& c : cases)
    {
        ChildProcess logger(loggerProgram(), {"-debug", "31", "-noconsole"}, environment);
        ASSERT_TRUE(logger.waitForOutput("- noconsole                 : 1", 20s)) << logger.standardError();
        // Let the machine come up, so that the request goes through its queue.
        std::this_thread::sleep_for(500ms);
        logger.signal(c.signalNumber);
        EXPECT_EQ(logger.wait(30s), 0) << logger.standardError();
        EXPECT_NE(logger.standardOutput().find(c.text), std::string::npos) << logger.standardOutput();
    }
}

TEST_F(Entry, ShowsItsOptionsAndStaysUpUntilInterrupted)
{
    ChildProcess logger(loggerProgram(), {"-debug", "300", "-name", "X"}, environment);
    ASSERT_TRUE(logger.waitForOutput("- noconsole                 : 0\n", 20s)) << logger.standardError();
    const std::string err = logger.standardError();
    EXPECT_NE(err.find("- Process Name              : X\n"), std::string::npos) << err;
    EXPECT_NE(err.find("- Debug                     : 0x2c\n"), std::string::npos) << err;
    EXPECT_EQ(logger.wait(1s), -1) << "the logger must stay up";
    logger.signal(SIGINT);
    EXPECT_EQ(logger.wait(30s), 0);
}

TEST_F(Entry, AnOptionErrorShowsTheUsageAndEndsWithStatusZero)
{
    ChildProcess logger(loggerProgram(), {"-debug"}, environment);
    EXPECT_EQ(logger.wait(20s), 0);
    const std::string err = logger.standardError();
    EXPECT_NE(err.find("         Error in argument: -debug option failed.  \n\nUsage:\n"), std::string::npos)
        << err;
    EXPECT_EQ(err.find("- Command Line Options"), std::string::npos) << "no banner after an option error";
}

TEST_F(Entry, WithoutADatabaseItStillStartsAndShowsNoVersion)
{
    ChildProcess logger(loggerProgram(), {"-debug", "8"}, environment);
    EXPECT_TRUE(logger.waitForOutput("DATABASE INFO: ver. -1, proc. \n", 20s)) << logger.standardError();
    EXPECT_TRUE(logger.waitForOutput("argv = [" + loggerProgram() + " -debug 8 ]\n", 5s))
        << logger.standardError();
    // A request before the control exists is dropped: wait until its IO thread has spoken.
    EXPECT_TRUE(logger.waitForOutput("Info: Dummy timer timed out", 20s)) << logger.standardError();
    logger.signal(SIGTERM);
    EXPECT_EQ(logger.wait(30s), 0);
}

TEST(EntryWithSuite, ShowsTheVersionRowOnTheConsoleOrOnlyInTheProcessLog)
{
    VivozoTest::TestSuite suite;
    ASSERT_TRUE(suite.ok()) << suite.error();
    const std::string versionLine = "DATABASE INFO: ver. 7, proc. Zelt 7.2 survey suite\n";

    ChildProcess traced(loggerProgram(), {"-debug", "8"});
    EXPECT_TRUE(traced.waitForOutput(versionLine, 20s)) << traced.standardError();
    // A request before the control exists is dropped: wait until its IO thread has spoken.
    EXPECT_TRUE(traced.waitForOutput("Info: Dummy timer timed out", 20s)) << traced.standardError();
    traced.signal(SIGTERM);
    EXPECT_EQ(traced.wait(30s), 0);

    const std::string processLogPath = suite.tempDirectory() + "/RORUVivozo.log";
    std::filesystem::remove(processLogPath);
    const auto processLog = [&processLogPath]
    {
        std::ifstream file(processLogPath);
        return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    };
    ChildProcess quiet(loggerProgram(), {"-debug", "8", "-noconsole"});
    // The trace goes only to the process log now: wait there until the control is up.
    for (int i = 0; i < 200 && processLog().find("Dummy timer timed out") == std::string::npos; ++i)
        std::this_thread::sleep_for(100ms);
    quiet.signal(SIGTERM);
    EXPECT_EQ(quiet.wait(30s), 0);
    EXPECT_EQ(quiet.standardError().find("DATABASE INFO"), std::string::npos) << quiet.standardError();
    EXPECT_NE(processLog().find(versionLine), std::string::npos) << processLog();
}

} // namespace
