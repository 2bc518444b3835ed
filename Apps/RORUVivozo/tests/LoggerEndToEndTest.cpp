// The logger end to end: the built program in a temporary suite, fed by real datagrams and commanded
// through the operator console, each test in a network namespace of its own.
#include "support/LoggerFixture.h"

#include "Captures/CaptureFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>

namespace fs = std::filesystem;
using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

// Today's UTC date as the date tokens write it, YYYYMMDD.
std::string utcDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char day[16];
    std::strftime(day, sizeof day, "%Y%m%d", &utc);
    return day;
}

// Index of the first GPS observation frame at or after the middle of the capture's bytes.
std::size_t halfway(const std::vector<std::string>& frames)
{
    std::size_t total = 0;
    for (const std::string& frame : frames)
        total += frame.size();
    std::size_t offset = 0;
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(frames[i][at]); };
        const int message = (byte(3) << 4) | (byte(4) >> 4);
        if (offset >= total / 2 && message >= 1001 && message <= 1004)
            return i;
        offset += frames[i].size();
    }
    return frames.size();
}

class LoggerEndToEnd : public LoggerFixture
{
};

} // namespace

TEST_F(LoggerEndToEnd, LogsEveryDatagramExactlyAndAnswersStatusQueries)
{
    startLogger();
    expectStatus(kOff);

    // Logging is off: a datagram is written nowhere.
    send({"not logged"});
    EXPECT_TRUE(m_logger->waitForOutput("Job: JobDisregardSig", 5s));

    command({"start", "C:\\rtcm", "base.rtcm", "60", "3011"});
    expectStatus(kOn);
    EXPECT_FALSE(fs::exists(native("C:\\rtcm\\base.rtcm"))) << "the file opens with the first datagram";

    const std::size_t beforeData = status().count();
    std::vector<std::string> frames = rtcmFrames(readFile(VivozoCaptures::captureFile("testglo.rtcm3")));
    frames.push_back(std::string(1, '\xD3'));
    frames.push_back(std::string(1400, '\x5A'));
    send(frames);
    EXPECT_TRUE(status().waitFor(kOn, 5s, beforeData));
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\base.rtcm"), joined(frames)));
    expectStatus(kOn);

    // A sentence that would pose as a datagram to log is dropped on the command port.
    ASSERT_TRUE(sendDatagram(5081, "$PZELT,7001,not for the file\n\r"));
    EXPECT_TRUE(m_logger->waitForOutput("WARNING: command datagram dropped (", 5s)) << m_logger->output();
    expectStatus(kOn);
    EXPECT_EQ(readFile(native("C:\\rtcm\\base.rtcm")), joined(frames));

    const std::size_t beforeStop = status().count();
    command({"stop"});
    EXPECT_TRUE(status().waitFor(kOff, 5s, beforeStop));
    EXPECT_TRUE(m_logger->waitForOutput("Closed datagram log file:\n\t C:\\rtcm\\base.rtcm.", 5s));
    expectStatus(kOff);
    send({"after the stop"});
    EXPECT_TRUE(m_logger->waitForOutput("Job: JobDisregardSig", 5s, 2));
    EXPECT_EQ(readFile(native("C:\\rtcm\\base.rtcm")), joined(frames));
    // The log file alone, but for the quality report its conversion may have written beside it.
    EXPECT_EQ(std::count_if(fs::directory_iterator(native("C:\\rtcm")), fs::directory_iterator(),
                            [](const fs::directory_entry& entry)
                            { return entry.path().extension() != ".json"; }),
              1);

    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerEndToEnd, ASecondStartClosesTheFileForConversionAndTheNextDatagramOpensANewOne)
{
    startLogger();
    command({"start", "C:\\rtcm", "first.rtcm", "60", "3011"});
    const std::vector<std::string> frames = demoFrames();
    send(frames);
    ASSERT_TRUE(fileHolds(native("C:\\rtcm\\first.rtcm"), joined(frames)));

    command({"start", "C:\\rtcm", "second.rtcm", "60", "3011"});
    ASSERT_TRUE(eventually([&] { return !makeRinexCalls(m_suite.root()).empty(); }, 10s))
        << m_logger->output();
    const std::vector<std::string> calls = makeRinexCalls(m_suite.root());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(matchesDigits(calls[0], "C:\\rtcm\\first.rtcm C:\\rtcm\\########_######.08o")) << calls[0];

    EXPECT_FALSE(fs::exists(native("C:\\rtcm\\second.rtcm")));
    send({frames[0]});
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\second.rtcm"), frames[0]));
    EXPECT_EQ(readFile(native("C:\\rtcm\\first.rtcm")), joined(frames));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerEndToEnd, AnIntervalOfZeroOrLessTurnsTheRotationOff)
{
    startLogger();
    command({"start", "C:\\rtcm", "base.rtcm", "0", "3011"});
    send({"first datagram"});
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\base.rtcm"), "first datagram"));
    // Ten timer ticks: a rotation at each tick would have made as many files.
    std::this_thread::sleep_for(1s);
    send({"second datagram"});
    // A negative interval and one that is not a number turn it off too; each start changes the file.
    ASSERT_TRUE(sendDatagram(5081, "$PZELT,160,C:\\rtcm,negative.rtcm,-5,3011\n\r"));
    send({"third"});
    // Two sockets keep no order between them: the next sentence waits until "third" is written.
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\negative.rtcm"), "third"));
    ASSERT_TRUE(sendDatagram(5081, "$PZELT,160,C:\\rtcm,text.rtcm,often,3011\n\r"));
    send({"fourth"});
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\text.rtcm"), "fourth"));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(m_logger->occurrences("timed file change is off; files change on command and on reread only."),
              3u)
        << m_logger->output();
    EXPECT_EQ(m_logger->occurrences("Job: JobTimedNewFile"), 0u);
    EXPECT_EQ(terminate(), 0);

    std::vector<std::string> contents;
    for (const auto& entry : fs::directory_iterator(native("C:\\rtcm")))
    {
        const std::string name = entry.path().filename().string();
        // Each closed file's quality report comes beside it: no RINEX file was written.
        if (name == "base.qc.json" || name == "negative.qc.json" || name == "text.qc.json")
            continue;
        EXPECT_TRUE(name == "base.rtcm" || name == "negative.rtcm" || name == "text.rtcm") << name;
        contents.push_back(readFile(entry.path().string()));
    }
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first datagramsecond datagram", "fourth", "third"}));
}

TEST_F(LoggerEndToEnd, EveryClosedFileReachesRinexOnceBesideItsLogFile)
{
    // The shipped conversion with convbin, not the recording stand-in.
    const std::string path =
        std::string(std::getenv("VIVOZO_SOURCE_DIR")) + "/scripts/bin:" + std::getenv("PATH");
    ::setenv("PATH", path.c_str(), 1);
    const std::string tokens = "C:\\Temp\\rtcm\\_TOKY__TOKM__TOKD_"; // the default suite's directory
    const std::string day = utcDay();
    const std::string directory = "C:\\Temp\\rtcm\\" + day;

    // The capture's two halves, each with the date and antenna frames in front.
    const std::vector<std::string> capture = demoFrames();
    const std::vector<std::string>::const_iterator middle =
        capture.begin() + static_cast<std::ptrdiff_t>(
                              halfway(std::vector<std::string>(capture.begin() + 2, capture.end())) + 2);
    const std::vector<std::string> first(capture.begin(), middle);
    std::vector<std::string> second(capture.begin(), capture.begin() + 2);
    second.insert(second.end(), middle, capture.end());

    // Left over from an earlier run at the path the first start sentence makes.
    fs::create_directories(native(directory));
    {
        std::ofstream(native(directory + "\\base.rtcm"), std::ios::binary) << joined(first);
    }
    startLogger();
    command({"start", tokens, "base.rtcm", "60", "3011"});
    send(second);
    ASSERT_TRUE(fileHolds(native(directory + "\\base.rtcm"), joined(second))) << m_logger->output();
    // A replay of the same data into the next file: its first epoch is the same second.
    command({"start", tokens, "replay.rtcm", "60", "3011"});
    ASSERT_TRUE(m_logger->waitForOutput("Closed datagram log file:\n\t " + directory + "\\base.rtcm.", 5s));
    send(second);
    ASSERT_TRUE(fileHolds(native(directory + "\\replay.rtcm"), joined(second)));
    EXPECT_EQ(terminate(), 0);
    if (utcDay() != day)
        GTEST_SKIP() << "the UTC date changed during the test";

    // Each file's RINEX beside it, named at its first epoch as convbin finds it; none replaced.
    const auto rinex = [&](const std::string& stem) { return native(directory + "\\" + stem + ".08o"); };
    const std::string leftoverEpoch =
        "  2009    12    18    23    07   00.0000000     GPS         TIME OF FIRST OBS";
    const std::string secondEpoch =
        "  2009    12    18    23    08   34.0000000     GPS         TIME OF FIRST OBS";
    for (const auto& [stem, epoch] :
         {std::pair{"20091218_230700", leftoverEpoch}, std::pair{"20091218_230834", secondEpoch},
          std::pair{"20091218_230834_1", secondEpoch}})
    {
        EXPECT_TRUE(eventually([&] { return fs::exists(rinex(stem)); }, 60s))
            << stem << ": " << readFile(native(directory + "\\" + stem + ".log"));
        EXPECT_NE(readFile(rinex(stem)).find(epoch), std::string::npos) << stem;
    }
    EXPECT_NE(readFile(native(directory + "\\20091218_230834_1.log"))
                  .find("makerinex.bat: " + directory + "\\20091218_230834.08o exists, writing " + directory +
                        "\\20091218_230834_1.08o instead\n"),
              std::string::npos);

    // Three files, three conversions; the leftover kept under its moved-aside name; no folder of tokens.
    std::size_t logs = 0;
    std::string movedAside;
    for (const auto& entry : fs::directory_iterator(native(directory)))
    {
        const std::string name = entry.path().filename().string();
        logs += entry.path().extension() == ".log" ? 1 : 0;
        if (matchesDigits(name, "base_############.rtcm"))
            movedAside = readFile(entry.path().string());
    }
    EXPECT_EQ(logs, 3u);
    EXPECT_EQ(movedAside, joined(first));
    EXPECT_EQ(std::distance(fs::directory_iterator(native("C:\\Temp\\rtcm")), fs::directory_iterator()), 1);
}

TEST_F(LoggerEndToEnd, LoggingSelectedInTheDatabaseStartsAtStartUp)
{
    ASSERT_TRUE(m_suite.exec("UPDATE velmor_param SET logging_selected = 1, dir_value = 'C:\\sel\\_TOKY_', "
                             "file_value = 'sel.rtcm', line_interval_value = '60'"));
    startLogger(kSelectedOn);
    expectStatus(kOn);
    send({"selected"});
    const std::string year = std::to_string(1900 +
                                            []
                                            {
                                                const std::time_t now = std::time(nullptr);
                                                std::tm utc{};
                                                ::gmtime_r(&now, &utc);
                                                return utc.tm_year;
                                            }());
    EXPECT_TRUE(fileHolds(native("C:\\sel\\" + year + "\\sel.rtcm"), "selected"));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerEndToEnd, MissingAndSlowInputAreRecordedAsOperatorMessages)
{
    setToken("RUNT_PARAM_RTCM_MAX_WAIT_TIME", 1);
    setToken("RUNT_PARAM_RTCM_INPUT_FREQ_INTERVAL_LENGTH", 1);
    setToken("RUNT_PARAM_RTCM_INPUT_FREQ_EXPECTED", 5);
    setToken("RUNT_PARAM_RTCM_INPUT_FREQ_LIMIT", 50);
    setToken("RUNT_PARAM_RTCM_INPUT_FREQ_PAUSE_LENGTH", 0);
    startLogger();
    command({"start", "C:\\rtcm", "slow.rtcm", "60", "3011"});

    const auto recorded = [&](int number)
    {
        return !m_suite.column("SELECT number FROM arrivedMessages WHERE number = " + std::to_string(number))
                    .empty();
    };
    EXPECT_TRUE(eventually([&] { return recorded(1424); }, 10s)) << m_logger->output();
    EXPECT_TRUE(
        m_logger->waitForOutput("ERROR: No RTCM data is received.\n\tTurn RTCM logging off and on.", 1s));
    EXPECT_TRUE(eventually([&] { return recorded(1425); }, 10s)) << m_logger->output();
    EXPECT_TRUE(m_logger->waitForOutput("Warning: Frequency of received RTCM) datagrams is less than 50% of "
                                        "expected.\nExpected/received (Hz): 5.00/0.00',122);",
                                        1s));
    const auto texts = m_suite.column("SELECT mess FROM arrivedMessagesString");
    EXPECT_TRUE(std::any_of(
        texts.begin(), texts.end(),
        [](const std::string& text) {
            return text.find("below 50% of expected. Expected/received (Hz): 5.00/0.00") != std::string::npos;
        }));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerEndToEnd, TerminationClosesTheOpenFileAndHandsItOn)
{
    for (const int bySignal : {0, SIGTERM, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM})
    {
        SCOPED_TRACE(bySignal); // 0: sentence 24
        fs::remove(m_suite.root() + "/makerinex.log");
        startLogger();
        const std::string name = "end" + std::to_string(bySignal) + ".rtcm";
        command({"start", "C:\\rtcm", name, "60", "3011"});
        const std::vector<std::string> frames = demoFrames();
        send(frames);
        ASSERT_TRUE(fileHolds(native("C:\\rtcm\\" + name), joined(frames)));

        const std::size_t before = status().count();
        if (bySignal)
            m_logger->signal(bySignal);
        else
            command({"terminate"});
        EXPECT_EQ(m_logger->waitExit(30s), 0) << m_logger->output();
        EXPECT_TRUE(status().waitFor(kOff, 1s, before));
        const std::string output = m_logger->output();
        EXPECT_NE(output.find("Closed datagram log file:\n\t C:\\rtcm\\" + name + "."), std::string::npos);
        EXPECT_NE(output.find("Velmor terminates."), std::string::npos);
        std::vector<std::string> calls;
        ASSERT_TRUE(eventually([&] { return (calls = makeRinexCalls(m_suite.root())).size() == 1; }, 10s));
        EXPECT_EQ(calls[0].rfind("C:\\rtcm\\" + name + " C:\\rtcm\\", 0), 0u) << calls[0];
        EXPECT_EQ(readFile(native("C:\\rtcm\\" + name)), joined(frames));
    }
}

TEST_F(LoggerEndToEnd, AHangUpRereadsTheParametersAndABrokenPipeChangesNothing)
{
    startLogger();
    m_logger->signal(SIGPIPE);
    ASSERT_TRUE(m_suite.exec("UPDATE velmor_param SET logging_selected = 1"));
    m_logger->signal(SIGHUP);
    EXPECT_TRUE(status().waitFor(kSelectedOn, 10s)) << m_logger->output();
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerEndToEnd, AStartWithAnotherPortMovesTheDataReceiver)
{
    startLogger();
    command({"start", "C:\\rtcm", "moved.rtcm", "60", "3012"});
    EXPECT_TRUE(m_logger->waitForOutput("Bind to input port 3012", 5s));
    EXPECT_TRUE(m_logger->waitForOutput("Logging starting", 5s));
    send({"old port"}, kDataPort);
    send({"new port"}, 3012);
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\moved.rtcm"), "new port"));
    send({"old port again"}, kDataPort);
    send({" and new"}, 3012);
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\moved.rtcm"), "new port and new"));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerEndToEnd, NoDatagramIsLostReorderedOrChangedUnderSteadyLoad)
{
    startLogger(kSelectedOff, {"-debug", "0"});
    command({"start", "C:\\load", "load.rtcm", "60", "3011"});
    // Waits for its numbered datagrams in the file and checks every one of them.
    const std::string loadgen = std::string(std::getenv("VIVOZO_BINARY_DIR")) + "/Apps/loadgen/loadgen";
    const std::string check = loadgen + " --port 3011 --size 200 --rate 2000 --count 4000 --file '" +
                              native("C:\\load\\load.rtcm") + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << check;
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerEndToEnd, WithoutItsParametersTheLoggerReportsAndOnlyTerminates)
{
    ASSERT_TRUE(m_suite.exec("DELETE FROM velmor_param"));
    ASSERT_TRUE(status().ok());
    m_logger = std::make_unique<LoggerProcess>(m_suite.root(), std::vector<std::string>{"-debug", "31"});
    EXPECT_TRUE(eventually(
        [&] { return !m_suite.column("SELECT number FROM arrivedMessages WHERE number = 1423").empty(); },
        20s))
        << m_logger->output();
    EXPECT_TRUE(
        m_logger->waitForOutput("ERROR: Not able to read RORUVivozo process parameters from ZeltDB.", 5s));

    // Neither a status query nor a start is taken in this state.
    command({"status"});
    command({"start", "C:\\rtcm", "never.rtcm", "60", "3011"});
    send({"never logged"});
    EXPECT_TRUE(m_logger->waitForOutput("Job: JobDisregardSig", 5s, 3));
    EXPECT_EQ(terminate(), 0);
    const std::vector<std::string> answers = status().received();
    EXPECT_EQ(answers, std::vector<std::string>{kOff}) << "only the termination is answered";
    EXPECT_FALSE(fs::exists(native("C:\\rtcm")));
}
