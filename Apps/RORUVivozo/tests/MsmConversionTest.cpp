// A modern base station end to end: the built logger logs an MSM-only stream, and the shipped
// "makerinex.bat" turns the closed file into RINEX 3.04.
#include "support/LoggerFixture.h"

#include "Captures/CaptureFile.h"
#include "Rtcm3/FrameWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;
using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

constexpr std::int64_t kGpsEpochUnix = 315964800; // 1980-01-06 00:00:00 UTC

// The u-blox base's own frames (MSM7 of GPS and GLONASS, station 0) as it sent them: no position, no
// 1013 and no antenna descriptor. Moved to another station on request.
std::vector<std::string> baseFrames(int station = 0)
{
    std::vector<std::string> frames;
    for (const std::string& frame : rtcmFrames(readFile(VivozoCaptures::captureFile("f9p-msm.rtcm3"))))
    {
        const int from =
            ((static_cast<unsigned char>(frame[4]) & 0x0F) << 8) | static_cast<unsigned char>(frame[5]);
        if (from != 0)
            continue;
        const auto moved =
            Rtcm3::withStation(std::vector<unsigned char>(frame.begin(), frame.end()), station);
        frames.emplace_back(moved.begin(), moved.end());
    }
    return frames;
}

// "YYYYMMDD" of the day nearest to the given time that falls on the capture's GPS weekday (Tuesday).
std::string nearestTuesday(std::time_t now)
{
    const std::int64_t days = (static_cast<std::int64_t>(now) - kGpsEpochUnix) / 86400; // day 0 is a Sunday
    std::int64_t tuesday = days - days % 7 + 2;
    if (tuesday - days > 3)
        tuesday -= 7;
    else if (days - tuesday > 3)
        tuesday += 7;
    const std::time_t at = static_cast<std::time_t>(kGpsEpochUnix + tuesday * 86400);
    std::tm broken{};
    gmtime_r(&at, &broken);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &broken);
    return text;
}

class MsmConversion : public LoggerFixture
{
protected:
    void SetUp() override
    {
        LoggerFixture::SetUp();
        // The real converter ahead of the fixture's stand-in, as the README puts it: scripts/bin alone.
        const std::string source =
            std::getenv("VIVOZO_SOURCE_DIR") != nullptr ? std::getenv("VIVOZO_SOURCE_DIR") : ".";
        const std::string path = source + "/scripts/bin:" + std::getenv("PATH");
        ::setenv("PATH", path.c_str(), 1);
    }

    // The RINEX files that have appeared in the directory.
    std::vector<fs::path> rinexFiles(const std::string& directory) const
    {
        std::vector<fs::path> found;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(native(directory), ignored))
        {
            if (entry.path().extension() == ".08o")
                found.push_back(entry.path());
        }
        return found;
    }
};

} // namespace

TEST_F(MsmConversion, AnMsmOnlyBaseGivesRinex304NamedAtItsFirstEpochFromTheStationOfTheToken)
{
    if (std::system("command -v convbin >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "convbin is not installed (Debian package rtklib): no RINEX to look at";
    for (const int station : {0, 278})
    {
        SCOPED_TRACE("RTCM_STATION_ID " + std::to_string(station));
        // The token store is rebuilt from the database at the next start.
        fs::remove(native("C:\\ProgramData\\Hollvik\\zelt\\ZeltTokens.json"));
        setToken("RTCM_STATION_ID", station);
        startLogger();
        const std::string directory = "C:\\rtcm" + std::to_string(station);
        command({"start", directory, "base.rtcm", "60", "3011"});
        const std::vector<std::string> frames = baseFrames(station);
        const std::time_t opened = std::time(nullptr);
        send(frames);
        ASSERT_TRUE(fileHolds(native(directory + "\\base.rtcm"), joined(frames)));

        // The rotation hands the file to the conversion; the same stream from another station is
        // logged but not converted (and the scan says what it lacks).
        command({"start", directory, "other.rtcm", "60", "3011"});
        const std::vector<std::string> otherStation = baseFrames(station == 0 ? 278 : 0);
        send(otherStation);
        ASSERT_TRUE(fileHolds(native(directory + "\\other.rtcm"), joined(otherStation)));
        command({"start", directory, "next.rtcm", "60", "3011"});
        ASSERT_TRUE(eventually([&] { return !rinexFiles(directory).empty(); }, 60s)) << m_logger->output();
        ASSERT_TRUE(m_logger->waitForOutput("No measurement data on input file", 10s)) << m_logger->output();
        std::this_thread::sleep_for(1s);
        const std::vector<fs::path> files = rinexFiles(directory);
        ASSERT_EQ(files.size(), 1u);
        // The capture begins on a Tuesday at 23:40:59 GPS time: that Tuesday nearest to the day of opening.
        const std::string name = files[0].filename().string();
        EXPECT_EQ(name, nearestTuesday(opened) + "_234059.08o");

        const std::string rinex = readFile(files[0].string());
        EXPECT_EQ(rinex.rfind("     3.04           OBSERVATION DATA    M", 0), 0u) << rinex.substr(0, 200);
        char first[96];
        std::snprintf(first, sizeof first,
                      "  %.4s    %.2s    %.2s    23    40   59.0000000     GPS         TIME OF FIRST OBS",
                      name.c_str(), name.c_str() + 4, name.c_str() + 6);
        EXPECT_NE(rinex.find(first), std::string::npos) << first;
        // Every system of the capture.
        EXPECT_TRUE(
            std::regex_search(rinex, std::regex("\nG +[0-9]+ C1C L1C .*C2L L2L.* SYS / # / OBS TYPES")))
            << rinex.substr(0, 2000);
        EXPECT_TRUE(
            std::regex_search(rinex, std::regex("\nR +[0-9]+ C1C L1C .*C2C L2C.* SYS / # / OBS TYPES")));
        EXPECT_NE(rinex.find("\nG05  22778104.231"), std::string::npos);
        EXPECT_NE(rinex.find("\nR06  21483177.100"), std::string::npos);

        const std::string output = m_logger->output();
        EXPECT_NE(output.find("Info: no antenna descriptor on input file, converting without one"),
                  std::string::npos);
        EXPECT_NE(output.find("Info: no station position on input file, converting without one"),
                  std::string::npos);
        EXPECT_EQ(terminate(), 0);
    }
}
