// The built logger against the faults of its surroundings: ports that are taken or wrong, a database
// that is briefly unreadable, a directory it may not write, and sentences that aim outside its folders.
#include "support/HoldingProcess.h"
#include "support/LoggerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;
using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

std::string startSentence(const std::string& directory, const std::string& name, const std::string& interval,
                          const std::string& port)
{
    return "$PZELT,160," + directory + "," + name + "," + interval + "," + port + "\n\r";
}

class LoggerRecovery : public LoggerFixture
{
protected:
    // Answered within a few seconds, as a logger that still listens does.
    bool answers(const char* query, const char* answer, const char* host = "127.0.0.1")
    {
        const std::size_t from = status().count();
        return sendDatagram(5081, query, host) && status().waitFor(answer, 3s, from);
    }

    // Datagrams to the port until the first one has opened the file.
    bool reaches(std::uint16_t port, const std::string& file)
    {
        return eventually(
            [&]
            {
                sendDatagram(port, "x");
                return fs::exists(file);
            },
            5s);
    }

    bool messageRecorded(int number)
    {
        return eventually(
            [&]
            {
                return !m_suite
                            .column("SELECT number FROM arrivedMessages WHERE number = " +
                                    std::to_string(number))
                            .empty();
            },
            10s);
    }
};

constexpr char kStatusQuery[] = "$PZELT,15\n\r";

} // namespace

TEST_F(LoggerRecovery, AStartCannotGiveTheDataPortAPortThatWouldTakeTheSentencesOrIsNoPort)
{
    startLogger();
    command({"start", "C:\\rtcm", "ports.rtcm", "60", "3011"});
    // The command port, the status port and numbers that are no ports are refused; 0 and a text that is
    // not a number keep the port.
    for (const char* port : {"5081", "4002", "70000", "-1", "0", "abc"})
        ASSERT_TRUE(sendDatagram(5081, startSentence("C:\\rtcm", "ports.rtcm", "60", port)));
    EXPECT_TRUE(m_logger->waitForOutput("ERROR: Data port -1 refused: not a port of 1-65535. The data port "
                                        "stays 3011.",
                                        5s))
        << m_logger->output();
    EXPECT_EQ(m_logger->occurrences(" refused: "), 4u) << m_logger->output();
    EXPECT_EQ(m_logger->occurrences("Bind to input port"), 2u) << "the data receiver was never moved";

    send({"still on 3011"});
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\ports.rtcm"), "still on 3011"));
    EXPECT_TRUE(answers(kStatusQuery, kOn)) << "sentences still reach the command receiver";
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerRecovery, ADataPortThatIsTakenIsBoundOnceItIsFree)
{
    startLogger();
    {
        PortHolder holder(3012);
        ASSERT_TRUE(holder.holding());
        command({"start", "C:\\rtcm", "taken.rtcm", "60", "3012"});
        EXPECT_TRUE(m_logger->waitForOutput("ERROR: Not able to bind data port 3012.", 5s))
            << m_logger->output();
        EXPECT_TRUE(answers(kStatusQuery, kOff)) << "no data port is bound";
    }
    // The same start once more: the data port did not change, so it is tried again.
    command({"start", "C:\\rtcm", "taken.rtcm", "60", "3012"});
    EXPECT_TRUE(reaches(3012, native("C:\\rtcm\\taken.rtcm"))) << m_logger->output();
    EXPECT_TRUE(answers(kStatusQuery, kOn));
    ASSERT_EQ(terminate(), 0);

    // Without a new start, the no-data check binds it once it is free.
    fs::remove(native("C:\\ProgramData\\Hollvik\\zelt\\ZeltTokens.json"));
    setToken("RUNT_PARAM_RTCM_MAX_WAIT_TIME", 1);
    startLogger();
    {
        PortHolder holder(3013);
        ASSERT_TRUE(holder.holding());
        command({"start", "C:\\rtcm", "later.rtcm", "60", "3013"});
        EXPECT_TRUE(
            m_logger->waitForOutput("ERROR: Not able to bind data port 3013. The next no-data check tries "
                                    "again.",
                                    5s, 2))
            << "the start and the next check fail while the port is held: " << m_logger->output();
    }
    EXPECT_TRUE(reaches(3013, native("C:\\rtcm\\later.rtcm"))) << m_logger->output();
    EXPECT_TRUE(messageRecorded(1424)) << "the no-data report goes on meanwhile";
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerRecovery, AFailedRereadKeepsTheParametersAndTheLoggerObeying)
{
    // A busy database fails a read after 300 ms instead of the suite's 10 s.
    const std::string odbcIni = m_suite.odbcDirectory() + "/odbc.ini";
    std::string settings = readFile(odbcIni);
    settings.replace(settings.find("Timeout=10000"), 13, "Timeout=300");
    std::ofstream(odbcIni) << settings;
    startLogger();
    const std::size_t from = status().count();
    {
        HoldingProcess holder;
        ASSERT_TRUE(holder.holdDatabase(m_suite.databasePath()));
        command({"reread"});
        EXPECT_TRUE(m_logger->waitForOutput(
            "ERROR: Not able to read RORUVivozo process parameters from ZeltDB.", 10s))
            << m_logger->output();
    }
    // Back in WAIT_LOGGING, it says so, and the message reaches the database once it is free again.
    EXPECT_TRUE(status().waitFor(kOff, 15s, from)) << m_logger->output();
    EXPECT_TRUE(messageRecorded(1423));
    EXPECT_TRUE(answers(kStatusQuery, kOff));
    command({"start", "C:\\rtcm", "after.rtcm", "60", "3011"});
    send({"after the reread"});
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\after.rtcm"), "after the reread"));
    EXPECT_TRUE(answers(kStatusQuery, kOn));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerRecovery, AFailedFirstReadIsTriedAgainUntilTheDatabaseIsWholeAgain)
{
    setToken("RUNT_PARAM_RTCM_MAX_WAIT_TIME", 1);
    // Builds the token file while the database is whole.
    startLogger();
    ASSERT_EQ(terminate(), 0);

    const std::string whole = readFile(m_suite.databasePath());
    {
        std::fstream file(m_suite.databasePath(), std::ios::in | std::ios::out | std::ios::binary);
        file << std::string(100, '#');
    }
    m_logger = std::make_unique<LoggerProcess>(m_suite.root(), std::vector<std::string>{"-debug", "31"});
    EXPECT_TRUE(
        m_logger->waitForOutput("Info: Reading RORUVivozo process parameters from ZeltDB again.", 10s, 2))
        << m_logger->output();
    EXPECT_FALSE(answers(kStatusQuery, kOff)) << "nothing is obeyed without parameters";

    const std::size_t from = status().count();
    {
        std::fstream file(m_suite.databasePath(), std::ios::in | std::ios::out | std::ios::binary);
        file << whole;
    }
    EXPECT_TRUE(status().waitFor(kSelectedOff, 10s, from)) << m_logger->output();
    command({"start", "C:\\rtcm", "late.rtcm", "60", "3011"});
    send({"late but logged"});
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\late.rtcm"), "late but logged"));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerRecovery, AFailedOpenIsTriedAgainOnceASecondUntilTheDirectoryIsWritable)
{
    const std::string locked = native("C:\\locked");
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    startLogger(kSelectedOff, {"-debug", "31"}, Permissions::Obeyed);
    command({"start", "C:\\locked\\\\sub", "x.rtcm", "60", "3011"});

    const auto start = std::chrono::steady_clock::now();
    int sent = 0;
    const auto sendFor = [&](Millis period)
    {
        for (const auto until = std::chrono::steady_clock::now() + period;
             std::chrono::steady_clock::now() < until;)
        {
            send({"datagram " + std::to_string(sent++) + ";"});
            std::this_thread::sleep_for(20ms);
        }
    };
    sendFor(2500ms);
    EXPECT_TRUE(answers(kStatusQuery, kOff)) << "no file could be opened";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t tries = m_logger->occurrences("Error: Not able to open file:");
    EXPECT_GE(tries, 2u) << m_logger->output();
    EXPECT_LE(tries, static_cast<std::size_t>(seconds) + 1) << "at most one try a second";
    EXPECT_EQ(m_logger->occurrences("ERROR: Not able to open .rtcm log file: C:\\locked\\\\sub\\x.rtcm"), 1u)
        << "the first failure is reported, the next only at the 1000th";
    const auto texts = m_suite.column("SELECT mess FROM arrivedMessagesString");
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "RTCM logger: not able to open log file C:\\locked\\sub\\x.rtcm"),
              1)
        << "message 1420 with the path squeezed, once";

    const std::size_t beforeOn = status().count();
    fs::permissions(locked, fs::perms::owner_all);
    sendFor(2000ms);
    EXPECT_TRUE(status().waitFor(kOn, 5s, beforeOn)) << m_logger->output();
    EXPECT_TRUE(answers(kStatusQuery, kOn));
    // From the datagram that opened the file on, every one is in it.
    const std::string logged = readFile(native("C:\\locked\\sub\\x.rtcm"));
    const int first = std::atoi(logged.c_str() + std::strlen("datagram "));
    ASSERT_LT(first, sent - 10) << logged;
    std::string expected;
    for (int i = first; i < sent; ++i)
        expected += "datagram " + std::to_string(i) + ";";
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerRecovery, TheNetworkCannotReachOutsideTheLogFolders)
{
    startLogger();
    // The command receiver listens on the loopback address only: 127.0.0.2 is this host too, but
    // stands here for any other address of it.
    EXPECT_FALSE(answers(kStatusQuery, kOff, "127.0.0.2"));
    EXPECT_TRUE(answers(kStatusQuery, kOff));

    // A ".." anywhere in the directory or the file name is refused like a file that cannot be opened.
    const std::pair<const char*, const char*> outside[] = {{"C:\\..\\escaped", "up.rtcm"},
                                                           {"C:\\rtcm", "..\\..\\up.rtcm"}};
    for (std::size_t i = 0; i < std::size(outside); ++i)
    {
        ASSERT_TRUE(sendDatagram(5081, startSentence(outside[i].first, outside[i].second, "60", "3011")));
        send({"must stay inside"});
        EXPECT_TRUE(m_logger->waitForOutput("Error: Path with a '..' component refused:", 5s, i + 1))
            << m_logger->output();
        EXPECT_TRUE(answers(kStatusQuery, kOff));
    }
    EXPECT_TRUE(messageRecorded(1420));
    EXPECT_FALSE(fs::exists(m_suite.root() + "/escaped"));
    EXPECT_FALSE(fs::exists(m_suite.root() + "/up.rtcm"));
    EXPECT_EQ(terminate(), 0);

    // The documented option lets every interface reach it.
    startLogger(kSelectedOff, {"-debug", "31", "-cmdallinterfaces"});
    EXPECT_TRUE(answers(kStatusQuery, kOff, "127.0.0.2"));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerRecovery, ASentenceReachesNoFileButARtcmFileBelowTheSuiteRoot)
{
    const std::string outside = m_suite.root() + "-outside";
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, native("C:\\away"));
    fs::create_directories(native("C:\\rtcm"));
    fs::create_symlink("../ProgramData/Hollvik/zelt/zelt.db", native("C:\\rtcm\\db.rtcm"));
    const fs::path suiteData = fs::path(m_suite.databasePath()).parent_path();
    const auto listing = [&]
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(suiteData))
            names.insert(entry.path().filename().string());
        return names;
    };
    startLogger();
    const std::set<std::string> before = listing();
    struct Refused
    {
        std::string directory, name, why;
    };
    const Refused refused[] = {
        {"C:\\ProgramData\\Hollvik\\zelt", "zelt.db", "Path without the .rtcm extension"},
        {outside, "x.rtcm", "Path without a drive"},
        {"C:\\away", "x.rtcm", "Path leading out of the suite root"},
        {"C:\\rtcm", "db.rtcm", "Path to something other than a regular file"},
    };
    for (const Refused& r : refused)
    {
        ASSERT_TRUE(sendDatagram(5081, startSentence(r.directory, r.name, "60", "3011")));
        send({"must go nowhere"});
        EXPECT_TRUE(m_logger->waitForOutput("Error: " + r.why + " refused:", 5s)) << m_logger->output();
        EXPECT_TRUE(answers(kStatusQuery, kOff)) << r.why;
    }
    EXPECT_TRUE(messageRecorded(1420));
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(readFile(m_suite.databasePath()).rfind("SQLite format 3", 0), 0u);
    // The suite database is whole: a reread still reads it.
    const std::size_t from = status().count();
    command({"reread"});
    EXPECT_TRUE(status().waitFor(kSelectedOff, 10s, from)) << m_logger->output();

    // The default folder lies behind the suite's own link "C:\Temp" -> "temp", inside the root.
    command({"start", "C:\\Temp\\rtcm", "upper.RTCM", "60", "3011"});
    send({"inside"});
    EXPECT_TRUE(fileHolds(native("C:\\temp\\rtcm\\upper.RTCM"), "inside")) << m_logger->output();
    EXPECT_EQ(terminate(), 0);
    fs::remove_all(outside);
}
