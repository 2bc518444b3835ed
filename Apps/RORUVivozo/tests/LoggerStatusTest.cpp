// What an operator and the tools read of the running logger: the status snapshot and the metrics count
// what was sent, the metrics parse as the Prometheus text format, and a path that cannot be written costs
// a trace line, not the logging. What they say stays true when the wall clock steps, the engine is held,
// the input stops, or someone plants links beside them.
#include "support/LoggerFixture.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;
using namespace VivozoTest;
using LoggerService = LoggerFixture;
using Clock = std::chrono::steady_clock;

// What the command writes, standard error included; "failed: ..." when it ends with another status than 0.
static std::string commandOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;)
        output += static_cast<char>(c);
    return pipe != nullptr && ::pclose(pipe) == 0 ? output : "failed: " + output;
}

// Every sample of the metrics file as Prometheus' own client parses it: "name{labels} value" lines.
static std::string parsedMetrics(const std::string& path)
{
    return commandOutput("/usr/bin/python3 -c 'import sys\n"
                         "from prometheus_client.parser import text_string_to_metric_families as parse\n"
                         "for family in parse(open(sys.argv[1]).read()):\n"
                         "    for s in family.samples: print(s.name, s.labels, s.value)' " +
                         path);
}

static const QJsonObject snapshotAt(const std::string& path)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(readFile(path))).object();
}

TEST_F(LoggerService, SnapshotAndMetricsCountWhatWasSentAndAPathThatFailsStopsNothing)
{
    const std::string metricsFolder = m_suite.root() + "/node-exporter";
    const std::string metrics = metricsFolder + "/roruvivozo.prom";
    // A file where the metrics' folder should be: they cannot be written for a while.
    std::ofstream{metricsFolder};
    startLogger(kSelectedOff, {"-debug", "31", "-metrics", metrics});
    command({"start", "C:\\rtcm", "base.rtcm", "60", "3011"});
    send(std::vector<std::string>(500, std::string(100, 'x')));
    EXPECT_TRUE(m_logger->waitForOutput("WARNING: Not able to write " + metrics + ": Not a directory", 5s));
    std::filesystem::remove(metricsFolder);
    std::filesystem::create_directories(metricsFolder); // the logger may have made it already
    send(std::vector<std::string>(500, std::string(100, 'y')));
    EXPECT_TRUE(m_logger->waitForOutput("Info: Writing " + metrics + " again.", 5s));
    EXPECT_EQ(m_logger->occurrences("Not able to write"), 1u);

    const std::string snapshot = native("C:\\temp\\RORUVivozo.status.json");
    ASSERT_TRUE(
        eventually([&] { return snapshotAt(snapshot)["since_start"]["datagrams"].toInt() == 1000; }, 5s))
        << readFile(snapshot);
    const QJsonObject status = snapshotAt(snapshot);
    EXPECT_EQ(status["state"].toString(), "logging");
    EXPECT_EQ(status["file"]["path"].toString(), "C:\\rtcm\\base.rtcm");
    EXPECT_EQ(status["file"]["datagrams"].toInt(), 1000);
    EXPECT_EQ(status["file"]["bytes"].toInt(), 100000);
    EXPECT_EQ(status["since_start"]["files"].toInt(), 1);
    EXPECT_EQ(status["since_start"]["kernel_drops"], 0);
    EXPECT_GT(status["rate"]["datagrams_per_second"].toDouble(), 0);
    EXPECT_EQ(status["rate"]["last_10_minutes"][0]["seconds_ago"].type(),
              QJsonValue::Double); // from start on
    EXPECT_LT(status["last_datagram"]["age_seconds"].toDouble(), 5);

    const std::string view = commandOutput(consoleBinary() + " watch --once --status " + snapshot);
    EXPECT_NE(view.find("C:\\rtcm\\base.rtcm"), std::string::npos) << view;
    EXPECT_NE(view.find("1,000 datagrams, 100.0 kB"), std::string::npos) << view;

    const std::string samples = parsedMetrics(metrics);
    for (const char* sample :
         {"roruvivozo_datagrams_total {} 1000.0", "roruvivozo_datagram_bytes_total {} 100000.0",
          "roruvivozo_state {'state': 'logging'} 1.0", "roruvivozo_file_datagrams {} 1000.0",
          "roruvivozo_conversions_total {'result': 'converted'} 0.0",
          // Before any no-data check or message: every counter is there, at 0; labels in snake case.
          "roruvivozo_kernel_dropped_datagrams_total {} 0.0",
          "roruvivozo_operator_messages_total {'number': '1427'} 0.0",
          "roruvivozo_state {'state': 'started_waiting_for_data'} 0.0"})
        EXPECT_NE(samples.find(sample), std::string::npos) << sample << " in\n" << samples;

    // The file's conversion is counted (no RTCM in it, so refused), and the last snapshot says the logger
    // stopped.
    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(snapshotAt(snapshot)["state"].toString(), "stopping");
    EXPECT_EQ(snapshotAt(snapshot)["conversions"]["failed"].toInt(), 1) << readFile(snapshot);
    EXPECT_NE(parsedMetrics(metrics).find("roruvivozo_conversions_total {'result': 'failed'} 1.0"),
              std::string::npos);
}

TEST_F(LoggerService, StatusFilesStayPutFollowNoLinkAndTellTrueAgesAndAStuckEngine)
{
    if (!fs::exists(kFakeTimeLibrary))
        GTEST_SKIP() << "libfaketime is not installed (Debian package faketime)";
    // The wall clock alone is stepped, by writing its offset; the monotonic clock stays true.
    const std::string offset = m_suite.root() + "/clock-offset", folder = m_suite.root() + "/started-here";
    std::ofstream(offset) << "+0s\n";
    fs::create_directories(folder);
    fs::create_directories(native("C:\\rtcm")); // the logger enters an existing log folder
    {
        const ScopedEnvironment preload("LD_PRELOAD", kFakeTimeLibrary),
            file("FAKETIME_TIMESTAMP_FILE", offset), noCache("FAKETIME_NO_CACHE", "1"),
            monotonic("FAKETIME_DONT_FAKE_MONOTONIC", "1");
        startLogger(kSelectedOff,
                    {"-debug", "8", "-status", "vivozo.json", "-metrics", "metrics/vivozo.prom"},
                    Permissions::AsTheTest, {"/usr/bin/env", "-C", folder});
    }
    const std::string snapshot = folder + "/vivozo.json", log = native("C:\\rtcm\\base.rtcm");
    command({"start", "C:\\rtcm", "base.rtcm", "60", "3011"});
    send({"first"});
    ASSERT_TRUE(fileHolds(log, "first"));
    // Links to the open log file where a writer of the status files might once have put its own.
    std::vector<std::string> links;
    for (const std::string& path : {snapshot, folder + "/metrics/vivozo.prom"})
        for (const std::string& suffix :
             {std::string(".tmp"), "." + std::to_string(m_logger->pid()) + ".tmp"})
            fs::create_symlink(log, links.emplace_back(path + suffix));

    // A day ahead, three seconds after the last datagram: a day on the wall clock, seconds in every age.
    send({"second"});
    std::ofstream(offset) << "+1d\n";
    const double dayAhead = QDateTime::currentSecsSinceEpoch() + 86000.0;
    const auto stepped = [&](const QJsonObject& status)
    {
        return status["written_unix"].toDouble() > dayAhead &&
               std::regex_search(status["status"].toString().toStdString(),
                                 std::regex(", last 3\\.\\d s ago$"));
    };
    EXPECT_TRUE(eventually([&] { return stepped(snapshotAt(snapshot)); }, 10s)) << readFile(snapshot);
    EXPECT_EQ(readFile(log), "firstsecond");
    for (const std::string& link : links)
        EXPECT_EQ(fs::read_symlink(link), log);

    // A held engine takes no datagram and no command: within 5 s everything says it is stuck.
    {
        const EngineHold hold(m_logger->pid());
        if (!hold.failure().empty())
            GTEST_SKIP() << "the engine cannot be held: " << hold.failure();
        EXPECT_TRUE(eventually([&] { return snapshotAt(snapshot)["engine"]["stuck"].toBool(); }, 5s));
        EXPECT_TRUE(
            snapshotAt(snapshot)["status"].toString().startsWith("stuck: the engine has not run for "));
        const std::string stuck = commandOutput(consoleBinary() + " watch --once --status " + snapshot);
        EXPECT_TRUE(stuck.starts_with("failed: zeltconsole: the logger is stuck")) << stuck;
    }
    EXPECT_TRUE(eventually([&] { return !snapshotAt(snapshot)["engine"]["stuck"].toBool(); }, 5s));
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerService, AnOutageShowsWhileItLastsAndIsNotedWithItsTrueLengthAndEveryMessageWithItsText)
{
    setToken("RUNT_PARAM_RTCM_MAX_WAIT_TIME", 2);
    const std::string snapshot = native("C:\\temp\\RORUVivozo.status.json");
    startLogger(kSelectedOff, {"-debug", "8"});
    command({"start", "C:\\rtcm", "gap.rtcm", "60", "3011"});
    send({"before"});
    const auto lastBefore = Clock::now();
    std::this_thread::sleep_until(lastBefore + 5s);
    EXPECT_TRUE(std::regex_search(snapshotAt(snapshot)["status"].toString().toStdString(),
                                  std::regex("^no data for [3-5] s; logging ")));
    const std::string view = commandOutput(consoleBinary() + " watch --once --status " + snapshot);
    EXPECT_TRUE(std::regex_search(view, std::regex("Input          no data for [3-5] s\n"))) << view;

    std::this_thread::sleep_until(lastBefore + 8300ms);
    send({"after"});
    const std::string note = "RTCM data received again after 8 s without data";
    const auto text = [&](int i)
    { return snapshotAt(snapshot)["recent_messages"][i]["text"].toString().toStdString(); };
    EXPECT_TRUE(eventually([&] { return text(0) == "RTCM logger: " + note; }, 10s)) << readFile(snapshot);
    EXPECT_EQ(text(1), "RTCM logger: no RTCM data received. Turn RTCM logging off and on");
    EXPECT_TRUE(snapshotAt(snapshot)["no_data_for_s"].isNull());
    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(m_suite.column("SELECT mess FROM arrivedMessagesString WHERE mess LIKE '%again%'"),
              std::vector<std::string>{"RTCM logger: " + note});
}
