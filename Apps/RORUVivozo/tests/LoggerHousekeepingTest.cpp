// What keeps an unattended logger's files in order, end to end with the built logger: files changed on
// the clock, a disk running low told to the operator, and old converted files deleted from the logger's
// own folders and nowhere else.
#include "support/LoggerFixture.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

namespace fs = std::filesystem;
using namespace VivozoTest;
using Housekeeping = LoggerFixture;

namespace
{

QJsonObject jsonAt(const std::string& path)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(readFile(path))).object();
}

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace

// Started at second 40 of the logger's clock: the first file ends at the next whole minute.
TEST_F(Housekeeping, OneMinuteFilesOnTheClockChangeAtTheWholeMinute)
{
    if (!fs::exists(kFakeTimeLibrary))
        GTEST_SKIP() << "libfaketime is not installed (Debian package faketime)";
    setToken("RTCM_ALIGN_TO_CLOCK", 1);
    {
        const ScopedEnvironment preload("LD_PRELOAD", kFakeTimeLibrary),
            clock("FAKETIME", "@2026-03-01 11:59:40"), monotonic("FAKETIME_DONT_FAKE_MONOTONIC", "1");
        startLogger();
    }
    command({"start", "C:\\rtcm", "base__TOKH__TOKN__TOKS_.rtcm", "1", "3011"});
    const std::string folder = native("C:\\rtcm");
    ASSERT_TRUE(eventually(
        [&]
        {
            send({"tick"});
            return fs::exists(folder + "/base_120000.rtcm");
        },
        60s))
        << m_logger->output();
    const std::set<std::string> files = namesIn(folder);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(std::regex_match(*files.begin(), std::regex("base_1159[45][0-9]\\.rtcm"))) << *files.begin();
    EXPECT_TRUE(
        m_logger->waitForOutput("Info: Files change on the clock every 1 min, next at 12:00:00 UTC.", 1s));
    EXPECT_EQ(terminate(), 0);
}

// A log folder on a 4 MB file system, below the threshold of 64 MB from the first file on.
TEST_F(Housekeeping, ADiskBelowItsThresholdIsToldOnceWithItsFreeSpaceAndShownEverywhere)
{
    if (::geteuid() != 0 || std::system("command -v unshare >/dev/null") != 0)
        GTEST_SKIP() << "a tmpfs of the logger's own needs root and unshare";
    setToken("RTCM_DISK_LOW_MB", 64);
    fs::create_directories(native("C:\\lowdisk"));
    const std::vector<std::string> ownMount = {"/usr/bin/unshare",
                                               "-m",
                                               "--propagation",
                                               "private",
                                               "/bin/sh",
                                               "-c",
                                               "mount -t tmpfs -o size=4m tmpfs \"$0\" && exec \"$@\"",
                                               native("C:\\lowdisk")};
    startLogger(kSelectedOff, {"-debug", "8"}, Permissions::AsTheTest, ownMount);
    command({"start", "C:\\lowdisk", "base.rtcm", "60", "3011"});
    send(std::vector<std::string>(100, std::string(1000, 'x')));

    const auto recorded = [&]
    { return m_suite.column("SELECT mess FROM arrivedMessagesString WHERE mess LIKE '%free on the disk%'"); };
    ASSERT_TRUE(eventually([&] { return recorded().size() == 1; }, 20s)) << m_logger->output();
    EXPECT_TRUE(std::regex_match(recorded()[0],
                                 std::regex("RTCM logger: only [34]\\.[0-9] MB free on the disk of log "
                                            "folder C:\\\\lowdisk\\\\, below 64 MB: ([0-9]+\\.[0-9]|\\?) "
                                            "days left at the current rate")))
        << recorded()[0];
    const std::string snapshot = native("C:\\temp\\RORUVivozo.status.json");
    ASSERT_TRUE(eventually([&] { return jsonAt(snapshot)["disk_low"].toBool(); }, 5s)) << readFile(snapshot);
    const QJsonObject status = jsonAt(snapshot);
    EXPECT_NEAR(status["disk_free_bytes"].toDouble(), 4 << 20, 200000) << readFile(snapshot);
    EXPECT_TRUE(status["status"].toString().startsWith("disk low: 4."))
        << status["status"].toString().toStdString();
    const std::string view = [&]
    {
        std::string out;
        FILE* pipe = ::popen((consoleBinary() + " watch --once --status " + snapshot).c_str(), "r");
        for (int c; pipe != nullptr && (c = std::fgetc(pipe)) != EOF;)
            out += static_cast<char>(c);
        ::pclose(pipe);
        return out;
    }();
    EXPECT_TRUE(std::regex_search(view, std::regex("Disk           [34]\\.[0-9] MB free, LOW"))) << view;
    // Told at most once an hour.
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(recorded().size(), 1u);
}

// A converted file, an unconverted one and foreign files, all 40 days old, beside and below the log
// folders of the pattern; a retention of 30 days at the next start takes the converted one alone.
TEST_F(Housekeeping, RetentionDeletesTheLoggersOwnConvertedOldFilesAndNothingElse)
{
    if (std::system("command -v convbin >/dev/null") != 0)
        GTEST_SKIP() << "convbin is not installed (Debian package rtklib)";
    const std::string source =
        std::getenv("VIVOZO_SOURCE_DIR") != nullptr ? std::getenv("VIVOZO_SOURCE_DIR") : ".";
    const ScopedEnvironment path("PATH", source + "/scripts/bin:" + std::getenv("PATH"));
    setToken("RTCM_RETENTION_DAYS", 30);
    const char* directory = "C:\\rtcm\\_TOKY__TOKM__TOKD_";
    const char* name = "base__TOKH__TOKN__TOKS_.rtcm";
    ASSERT_TRUE(m_suite.exec(std::string("UPDATE velmor_param SET dir_value = '") + directory +
                             "', file_value = '" + name + "'"));
    startLogger();
    command({"start", directory, name, "60", "3011"});
    send(demoFrames());
    ASSERT_TRUE(eventually(
        [&] { return fs::exists(native("C:\\rtcm")) && !namesIn(native("C:\\rtcm")).empty(); }, 10s));
    const std::string day = *namesIn(native("C:\\rtcm")).begin(), dated = native("C:\\rtcm\\" + day);
    const auto written = [&](const std::string& file) { return "C:\\rtcm\\" + day + "\\" + file; };
    const auto converted = [&]
    {
        for (const std::string& file : namesIn(dated))
            if (file.ends_with(".qc.json"))
                return true;
        return false;
    };
    command({"stop"});
    ASSERT_TRUE(eventually(converted, 60s)) << m_logger->output();
    EXPECT_EQ(terminate(), 0);
    const std::set<std::string> convertedFiles = namesIn(dated);

    // Its archive copy, as the script notes one in its .log.
    const std::string archive = native("C:\\archive\\ZELT00XXX_R_20093522307_01H_01S_MO.rnx.gz");
    fs::create_directories(fs::path(archive).parent_path());
    std::ofstream(archive) << "archive copy";
    for (const std::string& file : convertedFiles)
        if (file.ends_with(".log"))
            std::ofstream(dated + "/" + file, std::ios::app)
                << "makerinex.bat: archived C:\\archive\\ZELT00XXX_R_20093522307_01H_01S_MO.rnx.gz\n";
    const std::set<std::string> foreign = {"base_010203.rtcm", "notes.txt", "other_010203.rtcm"};
    for (const std::string& file : foreign)
        std::ofstream(dated + "/" + file) << "not converted";
    fs::create_directories(native("C:\\rtcm\\keep"));
    std::ofstream(native("C:\\rtcm\\keep\\base_010203.rtcm")) << "not in a dated folder";
    const auto fortyDaysAgo = fs::file_time_type::clock::now() - std::chrono::days(40);
    for (const auto& entry : fs::recursive_directory_iterator(native("C:\\rtcm")))
        fs::last_write_time(entry.path(), fortyDaysAgo);
    fs::last_write_time(archive, fortyDaysAgo);

    startLogger();
    ASSERT_TRUE(m_logger->waitForOutput("Info: Retention of log files older than 30 days: deleted ", 20s))
        << m_logger->output();
    EXPECT_EQ(namesIn(dated), foreign);
    EXPECT_TRUE(fs::exists(native("C:\\rtcm\\keep\\base_010203.rtcm")));
    EXPECT_FALSE(fs::exists(archive));
    for (const std::string& file : convertedFiles)
        EXPECT_EQ(m_logger->occurrences("Info: Retention: deleted " + written(file)), 1u) << file;
    EXPECT_NE(m_logger->output().find("Info: Retention: kept " + written("base_010203.rtcm") +
                                      ", 40 days old: not converted: no quality report names it."),
              std::string::npos)
        << m_logger->output();
    const std::string snapshot = native("C:\\temp\\RORUVivozo.status.json");
    ASSERT_TRUE(eventually([&] { return jsonAt(snapshot)["retention"].isObject(); }, 5s));
    const QJsonObject retention = jsonAt(snapshot)["retention"].toObject();
    EXPECT_EQ(retention["deleted_files"].toInt(), static_cast<int>(convertedFiles.size()) + 1);
    EXPECT_EQ(retention["deleted_log_files"].toInt(), 1);
    EXPECT_EQ(retention["kept"].toInt(), 1);
    EXPECT_EQ(terminate(), 0);
}
