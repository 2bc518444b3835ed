// The built program: its banner, option errors and termination on SIGINT and SIGTERM.
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
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

} // namespace
