// The built program: its banner, option errors, start-up without and with a database, and
// termination on SIGINT and SIGTERM.
#include "support/LoggerRun.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

namespace
{

using namespace std::chrono_literals;
using namespace VivozoTest;

constexpr char kSelectedOff[] = "$PZELT,163,OFF\n\r";

class Entry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_suite.ok()) << m_suite.error();
        std::string reason;
        if (!isolateNetwork(reason))
            std::cerr << "running without a network namespace of its own: " << reason << "\n";
        m_listener = std::make_unique<StatusListener>();
        ASSERT_TRUE(m_listener->ok());
    }

    // Starts the logger; with waitUntilUp it returns once the control has read its parameters, since a
    // termination request that comes before the control exists is dropped.
    LoggerProcess& start(const std::vector<std::string>& arguments, bool waitUntilUp = true)
    {
        const std::size_t from = m_listener->count();
        m_logger = std::make_unique<LoggerProcess>(m_suite.root(), arguments);
        EXPECT_TRUE(m_logger->started());
        if (waitUntilUp)
        {
            EXPECT_TRUE(m_listener->waitFor(kSelectedOff, 20s, from)) << m_logger->output();
        }
        return *m_logger;
    }

    TestSuite m_suite;
    std::unique_ptr<StatusListener> m_listener;
    std::unique_ptr<LoggerProcess> m_logger;
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
        LoggerProcess& logger = start({"-debug", "31", "-noconsole"});
        logger.signal(c.signalNumber);
        EXPECT_EQ(logger.waitExit(30s), 0) << logger.output();
        EXPECT_NE(logger.output().find(c.text), std::string::npos) << logger.output();
        EXPECT_EQ(logger.output().find("*F: "), std::string::npos) << "no trace on the console";
    }
}

TEST_F(Entry, ShowsItsOptionsAndStaysUpUntilInterrupted)
{
    LoggerProcess& logger = start({"-debug", "300", "-name", "X"});
    const std::string output = logger.output();
    EXPECT_NE(output.find("- Process Name              : X\n"), std::string::npos) << output;
    EXPECT_NE(output.find("- Debug                     : 0x2c\n"), std::string::npos) << output;
    EXPECT_FALSE(logger.waitExit(1s)) << "the logger must stay up";
    logger.signal(SIGINT);
    EXPECT_EQ(logger.waitExit(30s), 0);
}

TEST_F(Entry, AnOptionErrorShowsTheUsageAndEndsWithStatusZero)
{
    LoggerProcess& logger = start({"-debug"}, false);
    EXPECT_EQ(logger.waitExit(20s), 0);
    const std::string output = logger.output();
    EXPECT_NE(output.find("         Error in argument: -debug option failed.  \n\nUsage:\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("- Command Line Options"), std::string::npos) << "no banner after an option error";
}

TEST_F(Entry, WithoutADatabaseItStillStartsAndShowsNoVersion)
{
    ScopedEnvironment noUserDataSource("ODBCINI", m_suite.root() + "/missing/odbc.ini");
    ScopedEnvironment noSystemDataSource("ODBCSYSINI", m_suite.root() + "/missing");
    LoggerProcess& logger = start({"-debug", "8"}, false);
    EXPECT_TRUE(logger.waitForOutput("DATABASE INFO: ver. -1, proc. \n", 20s)) << logger.output();
    EXPECT_TRUE(logger.waitForOutput("argv = [" + loggerBinary() + " -debug 8 ]\n", 5s)) << logger.output();
    // A request before the control exists is dropped: wait until its IO thread has spoken.
    EXPECT_TRUE(logger.waitForOutput("Info: Dummy timer timed out", 20s)) << logger.output();
    logger.signal(SIGTERM);
    EXPECT_EQ(logger.waitExit(30s), 0);
}

TEST_F(Entry, ShowsTheVersionRowOnTheConsoleOrOnlyInTheProcessLog)
{
    const std::string versionLine = "DATABASE INFO: ver. 7, proc. Zelt 7.2 survey suite\n";
    LoggerProcess& traced = start({"-debug", "8"});
    EXPECT_TRUE(traced.waitForOutput(versionLine, 5s)) << traced.output();
    traced.signal(SIGTERM);
    EXPECT_EQ(traced.waitExit(30s), 0);

    const std::string processLog = m_suite.tempDirectory() + "/RORUVivozo.log";
    std::filesystem::remove(processLog);
    LoggerProcess& quiet = start({"-debug", "8", "-noconsole"});
    quiet.signal(SIGTERM);
    EXPECT_EQ(quiet.waitExit(30s), 0);
    EXPECT_EQ(quiet.output().find("DATABASE INFO"), std::string::npos) << quiet.output();
    EXPECT_NE(readFile(processLog).find(versionLine), std::string::npos) << readFile(processLog);
}

} // namespace
