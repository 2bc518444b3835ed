// rtcm3scan run as operators run it: what it tells about a file, and the demo capture it writes.
#include "Captures/CaptureFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

struct ScanRun
{
    int status;
    std::string output;
};

ScanRun runScan(const std::string& arguments)
{
    // Drive letters map below a scratch root, never onto the machine's own /c.
    const std::string root = std::filesystem::temp_directory_path().string() + "/rtcm3scan-root";
    const std::string command = "ZELT_ROOT='" + root + "' " RTCM3SCAN_PROGRAM " " + arguments + " 2>&1";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    ScanRun run{-1, {}};
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
        run.output.append(buffer.data(), n);
    const int raw = pclose(pipe.release());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(Rtcm3Scan, TheDemoCaptureAndEachOfItsHalvesConvert)
{
    struct Case
    {
        const char* option;
        const char* firstEpoch;
        const char* rinexName;
    };
    // The halves meet at an epoch, so the demo's two log files get RINEX names of their own.
    for (const Case c : {Case{"", "2009-12-18 23:07:00.000", "/20091218_230700.08o"},
                         Case{"--first-half", "2009-12-18 23:07:00.000", "/20091218_230700.08o"},
                         Case{"--second-half", "2009-12-18 23:08:34.000", "/20091218_230834.08o"}})
    {
        const std::string demo = std::filesystem::temp_directory_path().string() + "/rtcm3scan-demo-" +
                                 std::to_string(::getpid()) + ".rtcm";
        ASSERT_EQ(runScan("--make-demo " + demo + " " + VivozoCaptures::captureFile("testglo.rtcm3") + " " +
                          c.option)
                      .status,
                  0);
        // As recorded: no 1013, so dated by the day the file was opened.
        const ScanRun run = runScan("--epochs --date 2009-12-18 " + demo);
        std::filesystem::remove(demo);
        EXPECT_EQ(run.status, 0) << c.option << "\n" << run.output;
        EXPECT_NE(run.output.find(std::string("first epoch:          ") + c.firstEpoch), std::string::npos)
            << c.option << "\n"
            << run.output;
        EXPECT_NE(run.output.find(c.rinexName), std::string::npos) << c.option;
    }
    // The first satellite of the whole capture's first epoch, as convbin also decodes it.
    const std::string demo = std::filesystem::temp_directory_path().string() + "/rtcm3scan-demo.rtcm";
    ASSERT_EQ(runScan("--make-demo " + demo).status, 0);
    const ScanRun run = runScan("--epochs " + demo);
    std::filesystem::remove(demo);
    EXPECT_NE(run.output.find("G03  mask 0x10009099 C1=20213931.1260 P2=20213930.6860 L1C=106224925.3811"),
              std::string::npos)
        << run.output;
}

// Station 0's frames of a capture, as convbin must see them: it mixes the stations of a file into one epoch.
std::string stationFrames(const std::string& capturePath, int station, const std::string& outputPath)
{
    std::ifstream in(capturePath, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::string frames;
    for (std::size_t i = 0; i + 6 <= bytes.size();)
    {
        const std::size_t length = ((at(i + 1) & 0x03u) << 8) | at(i + 2);
        if (at(i) != 0xD3 || (at(i + 1) & 0xFC) != 0 || i + length + 6 > bytes.size() || length < 3)
        {
            ++i;
            continue;
        }
        const int frameStation = ((at(i + 4) & 0x0F) << 8) | at(i + 5);
        if (frameStation == station)
            frames.append(bytes, i, length + 6);
        i += length + 6;
    }
    std::ofstream(outputPath, std::ios::binary) << frames;
    return outputPath;
}

// "G05 C1C" and the like, by GPS time of week in ms.
using Observations = std::map<std::pair<long long, std::string>, double>;

long long gpsMsOfWeek(int year, int month, int day, int hour, int minute, double seconds)
{
    std::tm broken{};
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    const long long days = (timegm(&broken) - 315964800) / 86400; // since 1980-01-06
    return std::llround(((days % 7) * 86400 + hour * 3600 + minute * 60 + seconds) * 1000.0);
}

// The C, L and S values of a RINEX 3 observation file.
Observations readRinex3(const std::string& path)
{
    Observations values;
    std::map<char, std::vector<std::string>> types;
    std::ifstream in(path);
    std::string line;
    bool header = true;
    long long epoch = 0;
    while (std::getline(in, line))
    {
        if (header)
        {
            if (line.find("SYS / # / OBS TYPES") != std::string::npos)
            {
                std::istringstream fields(line.substr(0, 60));
                char system = 0;
                int count = 0;
                fields >> system >> count;
                for (std::string type; fields >> type;)
                    types[system].push_back(type);
            }
            header = line.find("END OF HEADER") == std::string::npos;
            continue;
        }
        if (line.rfind("> ", 0) == 0)
        {
            int y, mo, d, h, mi;
            double s;
            std::sscanf(line.c_str(), "> %d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s);
            epoch = gpsMsOfWeek(y, mo, d, h, mi, s);
            continue;
        }
        const std::string satellite = line.substr(0, 3);
        const std::vector<std::string>& systemTypes = types[line[0]];
        for (std::size_t t = 0; t < systemTypes.size(); ++t)
        {
            const std::size_t column = 3 + 16 * t;
            const std::string field = column < line.size() ? line.substr(column, 14) : "";
            if (field.find_first_not_of(' ') == std::string::npos ||
                std::string("CLS").find(systemTypes[t][0]) == std::string::npos)
                continue;
            values[{epoch, satellite + " " + systemTypes[t]}] = std::stod(field);
        }
    }
    return values;
}

// The same values from rtcm3scan --epochs.
Observations readScanEpochs(const std::string& output)
{
    Observations values;
    std::istringstream lines(output);
    std::string line;
    long long epoch = 0;
    const std::pair<const char*, char> kinds[] = {{" pseudorange=", 'C'}, {" phase=", 'L'}, {" cnr=", 'S'}};
    while (std::getline(lines, line))
    {
        double tow = 0;
        if (std::sscanf(line.c_str(), "msm %*d %*s epoch week %*d tow %lf s", &tow) == 1)
            epoch = std::llround(tow * 1000.0);
        if (line.rfind("  ", 0) != 0 || line.size() < 9 || line[2] == ' ')
            continue;
        const std::string satellite = line.substr(2, 3);
        const std::string signal = line.substr(6, 2);
        for (const auto& [key, kind] : kinds)
        {
            const auto at = line.find(key);
            if (at != std::string::npos)
                values[{epoch, satellite + " " + kind + signal}] =
                    std::stod(line.substr(at + std::strlen(key)));
        }
    }
    return values;
}

TEST(Rtcm3Scan, MsmValuesEqualConvbinsRinex3)
{
    if (std::system("command -v convbin >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "convbin is not installed (Debian package rtklib): MSM values not compared";
    const std::string capture = VivozoCaptures::captureFile("f9p-msm.rtcm3");
    const std::string dir =
        std::filesystem::temp_directory_path().string() + "/rtcm3scan-msm-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string frames = stationFrames(capture, 0, dir + "/station0.rtcm3");
    const std::string rinex = dir + "/station0.obs";
    ASSERT_EQ(std::system(("convbin -r rtcm3 -v 3.04 -os -tr 2022/05/24 23:40:00 -o " + rinex + " " + frames +
                           " >/dev/null 2>&1")
                              .c_str()),
              0);
    const Observations expected = readRinex3(rinex);
    const Observations decoded = readScanEpochs(runScan("--epochs " + capture).output);
    std::filesystem::remove_all(dir);

    // Both systems of both epochs, with pseudoranges, phases and CNRs of each signal.
    ASSERT_GE(expected.size(), 100u);
    for (const auto& [key, value] : expected)
    {
        const auto found = decoded.find(key);
        ASSERT_NE(found, decoded.end()) << "rtcm3scan lacks " << key.second << " at " << key.first << " ms";
        // RINEX keeps 3 decimals; convbin keeps a CNR to 0.25 dB-Hz.
        const double resolution = key.second[4] == 'S' ? 0.125 : 0.0011;
        EXPECT_NEAR(found->second, value, resolution) << key.second << " at " << key.first << " ms";
    }
    EXPECT_EQ(decoded.size(), expected.size());
}

// The lines of the output that do not name the file itself.
std::string withoutLinesNaming(const std::string& output, const std::string& path)
{
    std::string kept;
    for (std::size_t at = 0; at < output.size();)
    {
        const std::size_t end = std::min(output.find('\n', at), output.size());
        const std::string line = output.substr(at, end - at);
        if (line.find(path) == std::string::npos)
            kept += line + "\n";
        at = end + 1;
    }
    return kept;
}

TEST(Rtcm3Scan, AStrayPreambleInFrontChangesNothingItTells)
{
    const std::string demo = std::filesystem::temp_directory_path().string() + "/rtcm3scan-stray-" +
                             std::to_string(::getpid()) + ".rtcm";
    const std::string prefixed = demo + ".prefixed.rtcm";
    ASSERT_EQ(runScan("--make-demo " + demo).status, 0);
    {
        // A preamble whose length field (300) holds back the frames behind it until its CRC fails.
        std::ifstream in(demo, std::ios::binary);
        std::ofstream out(prefixed, std::ios::binary);
        out << "\x17\x42\xD3\x01\x2C" << in.rdbuf();
    }
    const ScanRun plain = runScan("--epochs " + demo);
    const ScanRun stray = runScan("--epochs " + prefixed);
    std::filesystem::remove(demo);
    std::filesystem::remove(prefixed);
    EXPECT_EQ(stray.status, 0) << stray.output;
    EXPECT_EQ(withoutLinesNaming(stray.output, prefixed), withoutLinesNaming(plain.output, demo));
}

TEST(Rtcm3Scan, UnreadableFileAndBadUsage)
{
    EXPECT_EQ(runScan("'C:\\no such\\file.rtcm'").output, "Can not open file C:\\no such\\file.rtcm\n");
    EXPECT_EQ(runScan("").status, 2);
    EXPECT_EQ(runScan("--bogus x").status, 2);
    EXPECT_EQ(runScan("--station 4096 x").status, 2);
    EXPECT_EQ(runScan("--date 2022-13-01 x").status, 2);
}

TEST(Rtcm3Scan, TellsTheConversionScriptWhatAFileBeginsWith)
{
    // The MSM capture's own station, another station's view of it, and a legacy capture.
    const std::string msm = VivozoCaptures::captureFile("f9p-msm.rtcm3");
    EXPECT_NE(runScan("--kind " + msm).output.find("msm\n"), std::string::npos);
    EXPECT_NE(runScan("--kind --station 278 " + msm).output.find("legacy\n"), std::string::npos);
    EXPECT_NE(runScan("--kind --station 5 " + msm).output.find("none\n"), std::string::npos);
}

} // namespace
