// The built program: its banner, option errors, its version, start-up without and with a database,
// and termination on SIGINT and SIGTERM.
#include "support/LoggerFixture.h"

#include "VivozoVersion.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

namespace
{

using namespace VivozoTest;

class Entry : public LoggerFixture
{
protected:
    // Without waiting for the control: for runs that end, or never get, that far.
    LoggerProcess& startOnly(const std::vector<std::string>& arguments)
    {
        m_logger = std::make_unique<LoggerProcess>(m_suite.root(), arguments);
        EXPECT_TRUE(m_logger->started());
        return *m_logger;
    }
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
        startLogger(kSelectedOff, {"-debug", "31", "-noconsole"});
        m_logger->signal(c.signalNumber);
        EXPECT_EQ(m_logger->waitExit(30s), 0) << m_logger->output();
        EXPECT_NE(m_logger->output().find(c.text), std::string::npos) << m_logger->output();
        EXPECT_EQ(m_logger->output().find("*F: "), std::string::npos) << "no trace on the console";
    }
}

TEST_F(Entry, ShowsItsOptionsAndStaysUpUntilInterrupted)
{
    startLogger(kSelectedOff, {"-debug", "300", "-name", "X"});
    const std::string output = m_logger->output();
    EXPECT_NE(output.find("- Process Name              : X\n"), std::string::npos) << output;
    EXPECT_NE(output.find("- Debug                     : 0x2c\n"), std::string::npos) << output;
    EXPECT_FALSE(m_logger->waitExit(1s)) << "the logger must stay up";
    m_logger->signal(SIGINT);
    EXPECT_EQ(m_logger->waitExit(30s), 0);
}

TEST_F(Entry, AnOptionErrorShowsTheUsageAndEndsWithStatusZero)
{
    LoggerProcess& logger = startOnly({"-debug"});
    EXPECT_EQ(logger.waitExit(20s), 0);
    const std::string output = logger.output();
    EXPECT_NE(output.find("         Error in argument: -debug option failed.  \n\nUsage:\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("- Command Line Options"), std::string::npos) << "no banner after an option error";
}

TEST_F(Entry, APortTakenAtStartUpEndsWithOneLineNamingItAndAFailureStatus)
{
    const struct
    {
        std::uint16_t port;
        const char* line;
    } cases[] = {{3011, "RORUVivozo: not able to start: data port 3011: bind: Address already in use\n"},
                 {5081, "RORUVivozo: not able to start: command port 5081: bind: Address already in use\n"}};
    for (const auto& c : cases)
    {
        PortHolder holder(c.port);
        ASSERT_TRUE(holder.holding());
        LoggerProcess& logger = startOnly({});
        EXPECT_EQ(logger.waitExit(20s), 1) << logger.output();
        EXPECT_EQ(logger.occurrences("RORUVivozo: not able to start: "), 1u) << logger.output();
        EXPECT_EQ(logger.occurrences(c.line), 1u) << logger.output();
    }
}

TEST_F(Entry, ASecondLoggerOrAnyOtherBinderCannotTakeTheLoggersPorts)
{
    startLogger();
    LoggerProcess second(m_suite.root(), {});
    EXPECT_EQ(second.waitExit(20s), 1);
    EXPECT_NE(second.output().find("data port 3011: bind: Address already in use"), std::string::npos);
    // Address reuse is no way in either: a socat that bound would wait for the timeout.
    for (const std::string port : {"3011", "5081"})
        EXPECT_EQ(std::system(("timeout 5 socat -u UDP4-RECV:" + port + ",reuseaddr /dev/null").c_str()),
                  256);
    EXPECT_EQ(terminate(), 0);
}

TEST_F(Entry, AskedForItsVersionOrUsageItAnswersAndEndsBeforeAnythingStarts)
{
    // A logger that went on to start would end with status 1 on the taken port.
    PortHolder holder(kDataPort);
    ASSERT_TRUE(holder.holding());
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-version", "-debug", "31"}, {"--version"}, {"--help", "-debug", "8"}})
    {
        LoggerProcess& logger = startOnly(arguments);
        EXPECT_EQ(logger.waitExit(20s), 0) << arguments[0];
        EXPECT_TRUE(arguments[0] == "--help" || logger.output() == "RORUVivozo " VIVOZO_VERSION "\n")
            << "no banner, no trace, no start: " << logger.output();
    }
    const std::string usage = m_logger->output();
    for (const char* option :
         {"-name NAME", "-debug MASK", "-quietdispatch", "-logfile NAME", "-noconsole", "-cmdallinterfaces",
          "-status PATH", "-metrics PATH", "-help", "-version", "--help", "--version"})
        EXPECT_NE(usage.find(std::string("  ") + option + " "), std::string::npos) << option << "\n" << usage;
    EXPECT_EQ(usage.find("- Command Line Options"), std::string::npos) << usage;
}

// The options of the installed service, as its environment file sets them.
std::vector<std::string> serviceOptions()
{
    const std::string file =
        readFile(std::string(std::getenv("VIVOZO_SOURCE_DIR")) + "/packaging/roruvivozo.default.in");
    std::smatch words;
    EXPECT_TRUE(std::regex_search(file, words, std::regex("\nVIVOZO_OPTIONS=\"(\\S+) (\\S+) (\\S+)\"")));
    return {words[1], words[2], words[3]};
}

TEST_F(Entry, AtTheServicesOptionsDatagramsAddNoTraceLinesWhileTheMaskAloneTracesEach)
{
    for (const bool service : {true, false})
    {
        startLogger(kSelectedOff, service ? serviceOptions() : std::vector<std::string>{"-debug", "8"});
        command({"start", "C:\\rtcm", "flood.rtcm", "60", std::to_string(kDataPort)});
        send({"x"});
        ASSERT_TRUE(m_logger->waitForOutput("Opened datagram log file", 10s)) << m_logger->output();
        const std::size_t before = m_logger->occurrences("\n");
        send(std::vector<std::string>(999, "x"));
        ASSERT_TRUE(fileHolds(native("C:\\rtcm\\flood.rtcm"), std::string(1000, 'x')));
        // A last status answer: whatever the datagrams made the engine write is written by then.
        expectStatus(kOn);
        const std::size_t added = m_logger->occurrences("\n") - before;
        EXPECT_TRUE(service ? added <= 10 : added >= 3 * 999) << added << "\n" << m_logger->output();
        EXPECT_EQ(terminate(), 0);
        std::filesystem::remove(native("C:\\rtcm\\flood.rtcm"));
    }
}

TEST_F(Entry, WithoutADatabaseItStillStartsAndShowsNoVersion)
{
    ScopedEnvironment noUserDataSource("ODBCINI", m_suite.root() + "/missing/odbc.ini");
    ScopedEnvironment noSystemDataSource("ODBCSYSINI", m_suite.root() + "/missing");
    LoggerProcess& logger = startOnly({"-debug", "8"});
    EXPECT_TRUE(logger.waitForOutput("DATABASE INFO: ver. -1, proc. \n", 20s)) << logger.output();
    EXPECT_TRUE(logger.waitForOutput("argv = [" + loggerBinary() + " -debug 8 ]\n", 5s)) << logger.output();
    // Wait until the control's IO thread has spoken before asking it to end.
    EXPECT_TRUE(logger.waitForOutput("Info: Dummy timer timed out", 20s)) << logger.output();
    logger.signal(SIGTERM);
    EXPECT_EQ(logger.waitExit(30s), 0);
}

TEST_F(Entry, ShowsTheVersionRowOnTheConsoleOrOnlyInTheProcessLog)
{
    const std::string versionLine = "DATABASE INFO: ver. 7, proc. Zelt 7.2 survey suite\n";
    const std::string processLog = m_suite.tempDirectory() + "/RORUVivozo.log";
    startLogger(kSelectedOff, {"-debug", "8"});
    EXPECT_TRUE(m_logger->waitForOutput(versionLine, 5s)) << m_logger->output();
    EXPECT_EQ(m_logger->occurrences("Trace written to          : standard error, " + processLog + "\n"), 1u);
    m_logger->signal(SIGTERM);
    EXPECT_EQ(m_logger->waitExit(30s), 0);

    std::filesystem::remove(processLog);
    startLogger(kSelectedOff, {"-debug", "8", "-noconsole"});
    EXPECT_EQ(m_logger->occurrences("\n- Trace written to          : " + processLog + "\n"), 1u);
    m_logger->signal(SIGTERM);
    EXPECT_EQ(m_logger->waitExit(30s), 0);
    EXPECT_EQ(m_logger->output().find("DATABASE INFO"), std::string::npos) << m_logger->output();
    EXPECT_NE(readFile(processLog).find(versionLine), std::string::npos) << readFile(processLog);
}

} // namespace
