// What an operator and the tools read of the running logger: the status snapshot and the metrics count
// what was sent, the metrics parse as the Prometheus text format, and a path that cannot be written costs
// a trace line, not the logging.
#include "support/LoggerFixture.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace VivozoTest;
using LoggerService = LoggerFixture;

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
    EXPECT_GT(status["rate"]["datagrams_per_second"].toDouble(), 0);
    EXPECT_LT(status["last_datagram"]["age_seconds"].toDouble(), 5);

    const std::string view = commandOutput(consoleBinary() + " watch --once --status " + snapshot);
    EXPECT_NE(view.find("C:\\rtcm\\base.rtcm"), std::string::npos) << view;
    EXPECT_NE(view.find("1,000 datagrams, 100.0 kB"), std::string::npos) << view;

    const std::string samples = parsedMetrics(metrics);
    for (const char* sample :
         {"roruvivozo_datagrams_total {} 1000.0", "roruvivozo_datagram_bytes_total {} 100000.0",
          "roruvivozo_state {'state': 'logging'} 1.0", "roruvivozo_file_datagrams {} 1000.0",
          "roruvivozo_conversions_total {'result': 'converted'} 0.0"})
        EXPECT_NE(samples.find(sample), std::string::npos) << sample << " in\n" << samples;

    // The file's conversion is counted (no RTCM in it, so refused), and the last snapshot says the logger
    // stopped.
    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(snapshotAt(snapshot)["state"].toString(), "stopping");
    EXPECT_EQ(snapshotAt(snapshot)["conversions"]["failed"].toInt(), 1) << readFile(snapshot);
    EXPECT_NE(parsedMetrics(metrics).find("roruvivozo_conversions_total {'result': 'failed'} 1.0"),
              std::string::npos);
}
