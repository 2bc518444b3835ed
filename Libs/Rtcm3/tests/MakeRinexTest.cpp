// The hand-off to "makerinex.bat": a recording stand-in, and the shipped script with convbin.
#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/MakeRinexLauncher.h"
#include "Rtcm3/MakeRinexReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Rtcm3Test;

namespace
{

// A descriptor number no shell or library picks by chance.
constexpr int kMarkedDescriptor = 77;

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool waitFor(const std::string& path, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end)
    {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// "YYYYMMDD_hhmmss" of a RINEX 2 observation file's "TIME OF FIRST OBS" line, as the names are made.
std::string firstObservation(const std::string& rinex)
{
    const size_t label = rinex.find("TIME OF FIRST OBS");
    if (label == std::string::npos)
        return "no TIME OF FIRST OBS";
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = -1;
    std::sscanf(rinex.c_str() + rinex.rfind('\n', label) + 1, "%d %d %d %d %d %lf", &year, &month, &day,
                &hour, &minute, &seconds);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", year, month, day, hour, minute,
                  static_cast<int>(seconds));
    return stamp;
}

// Waits for a file with the extension in the directory; its path in found.
bool eventuallyFound(const std::string& directory, const std::string& extension, std::string& found,
                     std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end)
    {
        for (const auto& entry : std::filesystem::directory_iterator(directory))
        {
            if (entry.path().extension() == extension)
            {
                found = entry.path().string();
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class MakeRinex : public testing::Test
{
protected:
    void SetUp() override
    {
        setenv("ZELT_ROOT", m_root.path().c_str(), 1);
        m_logDir = m_root.path() + "/c/rtcm logs";
        std::filesystem::create_directories(m_logDir);
        m_oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
    }
    void TearDown() override { setenv("PATH", m_oldPath.c_str(), 1); }

    void putFirstOnPath(const std::string& dir) { setenv("PATH", (dir + ":" + m_oldPath).c_str(), 1); }

    // A stand-in that records its arguments and its open descriptors, then signals completion.
    std::string installStandIn()
    {
        const std::string bin = m_root.path() + "/bin";
        std::filesystem::create_directories(bin);
        const std::string script = bin + "/makerinex.bat";
        std::ofstream out(script);
        out << "#!/bin/sh\n"
               "record=\"$MAKERINEX_RECORD\"\n"
               "printf '%s\\n' \"$#\" \"$@\" > \"$record.part\"\n"
               "ls /proc/$$/fd > \"$record.fds\"\n"
               "mv \"$record.part\" \"$record\"\n";
        out.close();
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        const std::string record = m_root.path() + "/record";
        setenv("MAKERINEX_RECORD", record.c_str(), 1);
        putFirstOnPath(bin);
        return record;
    }

    TempDir m_root;
    std::string m_logDir;
    std::string m_oldPath;
};

TEST_F(MakeRinex, StartsTheBatchFileWithTheLogPathAndTheRinexName)
{
    const std::string record = installStandIn();
    writeFile(m_logDir + "/demo.rtcm", convertibleCapture());
    // The logger's socket and log file stand for every descriptor the child must not keep.
    const int socketFd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(socketFd, 0);
    ASSERT_EQ(::dup2(socketFd, kMarkedDescriptor), kMarkedDescriptor);

    Platform::ProcessGroup script;
    EXPECT_TRUE(convertInPlace("C:\\rtcm logs\\demo.rtcm", "C:\\rtcm logs", script));
    ASSERT_TRUE(waitFor(record, std::chrono::seconds(20)));
    EXPECT_EQ(readText(record), "2\nC:\\rtcm logs\\demo.rtcm\nC:\\rtcm logs\\20091218_230700.08o\n");

    std::istringstream fds(readText(record + ".fds"));
    for (int fd = 0; fds >> fd;)
        EXPECT_NE(fd, kMarkedDescriptor) << "the child inherited the logger's socket";
    ::close(kMarkedDescriptor);
    ::close(socketFd);

    EXPECT_EQ(Rtcm3::makeRinexCommandLine("C:\\rtcm logs\\demo.rtcm", "C:\\rtcm logs\\20091218_230700.08o"),
              "makerinex.bat C:\\rtcm logs\\demo.rtcm C:\\rtcm logs\\20091218_230700.08o");
}

TEST_F(MakeRinex, StartsNothingWhenTheScanFails)
{
    const std::string record = installStandIn();
    writeFile(m_logDir + "/empty.rtcm", {});
    testing::internal::CaptureStderr();
    Platform::ProcessGroup script;
    EXPECT_FALSE(convertInPlace("C:\\rtcm logs\\empty.rtcm", "C:\\rtcm logs", script));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(waitFor(record, std::chrono::seconds(1)));
}

TEST_F(MakeRinex, TheShippedScriptWritesRinexStartingAtTheFirstEpoch)
{
    putFirstOnPath(VIVOZO_MAKERINEX_DIR);
    writeFile(m_logDir + "/demo.rtcm", convertibleCapture());

    // What the driver decides, from the same file.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen((m_logDir + "/demo.rtcm").c_str(), "rb"),
                                                         &std::fclose);
    auto decoder = newDecoder(0);
    Rtcm3::ScanResult result{};
    ASSERT_TRUE(Rtcm3::scanLogFile(file.get(), *decoder, result));
    Rtcm3::EpochTime first{};
    Rtcm3::firstEpochTime(result.mjd, result.secondsOfDay, result.firstSecondsOfWeek, first);

    Platform::ProcessGroup script;
    EXPECT_TRUE(convertInPlace("C:\\rtcm logs\\demo.rtcm", "C:\\rtcm logs", script));
    const std::string rinex = m_logDir + "/20091218_230700.08o";
    ASSERT_TRUE(waitFor(rinex, std::chrono::seconds(60))) << readText(m_logDir + "/20091218_230700.log");

    const std::string text = readText(rinex);
    EXPECT_EQ(text.find("     2.11           OBSERVATION DATA"), 0u);
    // Signal strengths, and the capture's ephemerides (1019, 1020) in navigation files of the same stem.
    const size_t types = text.find("# / TYPES OF OBSERV");
    ASSERT_NE(types, std::string::npos);
    const std::string typesLine = text.substr(text.rfind('\n', types) + 1, types - text.rfind('\n', types));
    EXPECT_NE(typesLine.find("S1"), std::string::npos) << typesLine;
    EXPECT_NE(typesLine.find("S2"), std::string::npos) << typesLine;
    EXPECT_NE(readText(m_logDir + "/20091218_230700.08n").find("GPS NAV DATA"), std::string::npos);
    EXPECT_NE(readText(m_logDir + "/20091218_230700.08g").find("GLONASS NAV DATA"), std::string::npos);
    const size_t firstObs = text.find("TIME OF FIRST OBS");
    const size_t header = text.find("END OF HEADER");
    ASSERT_NE(firstObs, std::string::npos);
    ASSERT_NE(header, std::string::npos);
    const size_t body = text.find('\n', header) + 1;

    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = -1;
    const size_t lineStart = text.rfind('\n', firstObs) + 1;
    ASSERT_EQ(std::sscanf(text.c_str() + lineStart, "%d %d %d %d %d %lf", &year, &month, &day, &hour, &minute,
                          &seconds),
              6);
    EXPECT_EQ(std::vector<double>(
                  {double(year), double(month), double(day), double(hour), double(minute), seconds}),
              std::vector<double>({double(first.year), double(first.month), double(first.day),
                                   double(first.hour), double(first.minute), first.seconds}));
    // The first epoch record after the header: two-digit year.
    ASSERT_EQ(
        std::sscanf(text.c_str() + body, "%d %d %d %d %d %lf", &year, &month, &day, &hour, &minute, &seconds),
        6);
    EXPECT_EQ(std::vector<double>(
                  {double(year), double(month), double(day), double(hour), double(minute), seconds}),
              std::vector<double>({double(first.year % 100), double(first.month), double(first.day),
                                   double(first.hour), double(first.minute), first.seconds}));
}

// station278.rtcm3 is from 2020 (GPS-UTC 18 s); cut before its first 1012, it begins with GLONASS.
TEST_F(MakeRinex, AGlonassFirstFileFrom2020IsNamedAtConvbinsFirstEpoch)
{
    putFirstOnPath(VIVOZO_MAKERINEX_DIR);
    const Bytes capture = restamped(readFile(captureFile("station278.rtcm3")), 0);
    const std::vector<std::size_t> starts = frameStarts(capture);
    const auto glonass = std::find_if(starts.begin(), starts.end(),
                                      [&](std::size_t at) { return messageAt(capture, at) == 1012; });
    ASSERT_NE(glonass, starts.end());
    writeFile(m_logDir + "/glonass.rtcm",
              Bytes(capture.begin() + static_cast<std::ptrdiff_t>(*glonass), capture.end()));

    testing::internal::CaptureStderr();
    Platform::ProcessGroup script;
    const bool converts = convertInPlace("C:\\rtcm logs\\glonass.rtcm", "C:\\rtcm logs", script);
    ASSERT_TRUE(converts) << testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStderr();
    std::string rinex;
    ASSERT_TRUE(eventuallyFound(m_logDir, ".08o", rinex, std::chrono::seconds(60)));
    const std::string name = std::filesystem::path(rinex).stem().string();
    EXPECT_EQ(name.substr(0, 8), "20200125"); // 2020-01-24 in Oregon, already the 25th in UTC
    EXPECT_EQ(firstObservation(readText(rinex)), name);
}

TEST_F(MakeRinex, TheShippedScriptFailsLoudlyOnAMissingLogFile)
{
    const std::string command =
        std::string(VIVOZO_MAKERINEX_DIR) +
        "/makerinex.bat 'C:\\rtcm logs\\none.rtcm' 'C:\\rtcm logs\\20091218_230700.08o'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    EXPECT_FALSE(std::filesystem::exists(m_logDir + "/20091218_230700.08o"));
    EXPECT_NE(readText(m_logDir + "/20091218_230700.log").find("can not open C:\\rtcm logs\\none.rtcm"),
              std::string::npos);
}

// What a conversion wrote is found by the RINEX file whose header names its log file; a failed one's .log is
// the last name in use, though an earlier RINEX file of the same log file is there.
TEST_F(MakeRinex, TheReportOfAConversionIsTheOneOfItsOwnName)
{
    writeFile(m_logDir + "/demo.rtcm", convertibleCapture());
    const std::string log = "C:\\rtcm logs\\demo.rtcm";
    const std::string rinex = "C:\\rtcm logs\\20091218_230700.08o";
    const std::string command =
        std::string(VIVOZO_MAKERINEX_DIR) + "/makerinex.bat '" + log + "' '" + rinex + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Rtcm3::MakeRinexReport made = Rtcm3::findMakeRinexReport(log, rinex, true);
    EXPECT_EQ(made.rinex, rinex);
    EXPECT_EQ(made.log, "C:\\rtcm logs\\20091218_230700.log");
    EXPECT_EQ(made.written.at(0), rinex);

    std::filesystem::remove(m_logDir + "/demo.rtcm");
    EXPECT_NE(std::system(command.c_str()), 0);
    const Rtcm3::MakeRinexReport failed = Rtcm3::findMakeRinexReport(log, rinex, false);
    EXPECT_EQ(failed.log, "C:\\rtcm logs\\20091218_230700_1.log");
    EXPECT_TRUE(failed.written.empty() && !failed.rinex);
}

} // namespace
