// rtcm3scan run as operators run it: what it tells about a file, and the demo capture it writes.
#include "Captures/CaptureFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(Rtcm3Scan, TellsWhatTestgloLacks)
{
    const ScanRun run = runScan(VivozoCaptures::captureFile("testglo.rtcm3"));
    EXPECT_EQ(run.status, 1);
    for (const char* line :
         {"observation data:     found (first message 1004, time of week 515220 s)",
          "station position:     found", "antenna descriptor:   MISSING", "date (1013):          MISSING",
          "No antenna descriptor on input file\n", "No date information on input file\n",
          "1004 x 186 1005 x 19 1012 x 186 1019 x 19 1020 x 19"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    EXPECT_EQ(run.output.find("No measurement data"), std::string::npos);
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
    for (const Case c : {Case{"", "2009-12-18 23:07:00.000", "\\20091218_230700.08o"},
                         Case{"--first-half", "2009-12-18 23:07:00.000", "\\20091218_230700.08o"},
                         Case{"--second-half", "2009-12-18 23:08:34.000", "\\20091218_230834.08o"}})
    {
        const std::string demo = std::filesystem::temp_directory_path().string() + "/rtcm3scan-demo-" +
                                 std::to_string(::getpid()) + ".rtcm";
        ASSERT_EQ(runScan("--make-demo " + demo + " " + VivozoCaptures::captureFile("testglo.rtcm3") + " " +
                          c.option)
                      .status,
                  0);
        const ScanRun run = runScan("--epochs " + demo);
        std::filesystem::remove(demo);
        EXPECT_EQ(run.status, 0) << c.option << "\n" << run.output;
        EXPECT_NE(run.output.find(std::string("first epoch:          ") + c.firstEpoch), std::string::npos)
            << c.option << "\n"
            << run.output;
        EXPECT_NE(run.output.find(c.rinexName), std::string::npos) << c.option;
        EXPECT_NE(run.output.find("antenna descriptor:   found (\"TRM41249.00     NONE\")"),
                  std::string::npos);
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
}

} // namespace
