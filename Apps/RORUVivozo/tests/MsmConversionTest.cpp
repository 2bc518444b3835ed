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
#include <fstream>
#include <regex>

namespace fs = std::filesystem;
using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

constexpr std::int64_t kGpsEpochUnix = 315964800; // 1980-01-06 00:00:00 UTC

int messageOf(const std::string& frame)
{
    return (static_cast<unsigned char>(frame[3]) << 4) | (static_cast<unsigned char>(frame[4]) >> 4);
}

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
        useShippedConverter();
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
        // No position of the station, so nothing from which convbin could name the marker.
        EXPECT_NE(rinex.find((station == 0 ? "\n0000" : "\n0278") + std::string(56, ' ') + "MARKER NAME"),
                  std::string::npos);

        // The trace names the file, what it goes without, what was written and why the other is not.
        EXPECT_TRUE(m_logger->waitForOutput("\tInfo: Converted " + directory +
                                                "\\base.rtcm to RINEX: 2 epochs of " + "GPS, GLONASS in " +
                                                directory + "\\" + name + ".\n",
                                            20s))
            << m_logger->output();
        const std::string output = m_logger->output();
        EXPECT_NE(output.find("\tInfo: " + directory +
                              "\\base.rtcm: no antenna descriptor on input file, "
                              "converting without one.\n"),
                  std::string::npos);
        EXPECT_NE(output.find("Info: no station position on input file, converting without one"),
                  std::string::npos);
        const std::string other = std::to_string(station == 0 ? 278 : 0);
        EXPECT_NE(
            output.find("No date information on input file.\n\t         It holds observations of station " +
                        other + ", none of reference station " + std::to_string(station) +
                        ": set the token RTCM_STATION_ID to " + other + ".\n"),
            std::string::npos)
            << output;
        EXPECT_EQ(terminate(), 0);
    }
}

// testglo.rtcm3 as recorded (no 1013, no antenna); the same with its ephemerides sent 30 times over and
// its 1005s only at the end, after message 1000; the u-blox capture from its first 1004 on at station 0,
// legacy before MSM in the same epoch. Logged on the capture's own day, as the station would have.
TEST_F(MsmConversion, EveryRealBaseConvertsNamedAtConvbinsFirstEpochAndLabelledFromTheTokens)
{
    if (std::system("command -v convbin >/dev/null 2>&1") != 0 || !fs::exists(kFakeTimeLibrary))
        GTEST_SKIP() << "convbin or libfaketime is not installed (Debian packages rtklib, faketime)";
    for (const auto& [token, value] : {std::pair{"RINEX_MARKER_NAME", "ZELT BASE"},
                                       {"RINEX_MARKER_NUMBER", "10317M001"},
                                       {"RINEX_OBSERVER", "Night watch"},
                                       {"RINEX_AGENCY", "Hollvik Survey"}})
        setText(token, value);
    const std::vector<std::string> testglo =
        rtcmFrames(readFile(VivozoCaptures::captureFile("testglo.rtcm3")));
    std::vector<std::string> late, mixed;
    for (const std::string& frame : testglo)
        late.insert(late.end(), messageOf(frame) == 1005 ? 0 : messageOf(frame) >= 1019 ? 30 : 1, frame);
    std::copy_if(testglo.begin(), testglo.end(), std::back_inserter(late),
                 [](auto& f) { return messageOf(f) == 1005; });
    for (const std::string& frame : rtcmFrames(readFile(VivozoCaptures::captureFile("f9p-msm.rtcm3"))))
    {
        const auto moved = Rtcm3::withStation({frame.begin(), frame.end()}, 0);
        if (messageOf(frame) == 1004 || !mixed.empty())
            mixed.emplace_back(moved.begin(), moved.end());
    }
    const char* position = "\n -3869297.5138  3436571.3345  3717369.3757      ";
    struct Case
    {
        const char* directory;
        std::vector<std::string> frames;
        const char* version;
        std::size_t epochs; // RINEX 2 epoch lines
        const char* expected;
        const char* clock; // the logger's
    } const cases[] = {
        {"testglo", testglo, "2.11", 186, position, "@2009-12-18 23:11:00"},
        {"late", late, "2.11", 186, position, "@2009-12-18 23:11:00"},
        {"mixed", mixed, "3.04", 0, "\nR    9 C1C L1C S1C C2P L2P S2P C2C L2C S2C", "@2022-05-24 23:50:00"}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.directory);
        const std::string directory = std::string("C:\\rtcm\\") + c.directory;
        startLoggerAt(c.clock);
        command({"start", directory, "base.rtcm", "60", "3011"});
        send(c.frames);
        ASSERT_TRUE(fileHolds(native(directory + "\\base.rtcm"), joined(c.frames)));
        command({"stop"});
        ASSERT_TRUE(eventually([&] { return !rinexFiles(directory).empty(); }, 60s)) << m_logger->output();
        const std::string n = rinexFiles(directory)[0].stem().string();
        const std::string text = readFile(rinexFiles(directory)[0].string());
        const std::string header = text.substr(0, text.find("END OF HEADER"));
        std::size_t at = 0;
        for (const std::string& piece :
             {"     " + std::string(c.version) + "           OBSERVATION DATA",
              "\nlog: " + directory + "\\base.rtcm ", std::string("\nZELT BASE  "),
              std::string("MARKER NAME         \n10317M001  "), std::string("MARKER NUMBER"),
              std::string("\nNight watch         Hollvik Survey  "), std::string(c.expected),
              "\n  " + n.substr(0, 4) + "    " + n.substr(4, 2) + "    " + n.substr(6, 2) + "    " +
                  n.substr(9, 2) + "    " + n.substr(11, 2) + "   " + n.substr(13, 2) + ".0000000     GPS"})
            EXPECT_NE(at = header.find(piece, at), std::string::npos) << piece << "\n" << header;
        EXPECT_EQ(text.find("/dev/fd"), std::string::npos);
        std::size_t epochs = 0;
        const std::string epoch = "\n " + n.substr(2, 2) + " " + n.substr(4, 2) + " " + n.substr(6, 2) + " ";
        for (at = text.find(epoch); at != std::string::npos; at = text.find(epoch, at + 1))
            ++epochs;
        EXPECT_EQ(epochs, c.epochs);
        EXPECT_EQ(terminate(), 0);
        const std::string written = directory + "\\" + n;
        EXPECT_EQ(m_logger->occurrences(
                      "Info: Converted " + directory + "\\base.rtcm to RINEX: " +
                      (c.epochs != 0 ? "186" : "2") + " epochs of GPS, GLONASS in " + written + ".08o" +
                      (c.epochs != 0 ? ", " + written + ".08n, " + written + ".08g.\n" : ".\n")),
                  1u)
            << m_logger->output();
    }
}

TEST_F(MsmConversion, AFailedConversionNamesTheScriptsExitStatusAndItsLog)
{
    // The shipped script, with a convbin that fails ahead of the real one on the PATH.
    std::ofstream(m_suite.root() + "/bin/convbin") << "#!/bin/sh\nexit 1\n";
    fs::permissions(m_suite.root() + "/bin/convbin", fs::perms::owner_all);
    startLogger();
    command({"start", "C:\\rtcm", "base.rtcm", "60", "3011"});
    const std::string log = "C:\\rtcm\\" + nearestTuesday(std::time(nullptr)) + "_234059.log";
    send(baseFrames());
    ASSERT_TRUE(fileHolds(native("C:\\rtcm\\base.rtcm"), joined(baseFrames())));
    command({"stop"});
    EXPECT_TRUE(m_logger->waitForOutput(
        "makerinex.bat ended with exit status 1; its .log says why: " + log + ".\n", 60s))
        << m_logger->output();
    EXPECT_NE(readFile(native(log)).find("convbin failed (status 1)"), std::string::npos);
    EXPECT_EQ(terminate(), 0);
}
