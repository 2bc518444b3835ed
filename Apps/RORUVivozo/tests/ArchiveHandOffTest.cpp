// The built logger with the shipped converter hands each converted file on: an archive copy by the
// RINEX 3 long-name convention, sampled and compressed, then the site's own "afterrinex", bounded.
#include "support/LoggerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

class ArchiveHandOff : public LoggerFixture
{
protected:
    void SetUp() override
    {
        LoggerFixture::SetUp();
        if (std::system("command -v convbin >/dev/null") != 0 || !fs::exists(kFakeTimeLibrary))
            GTEST_SKIP() << "convbin or libfaketime is not installed (Debian packages rtklib, faketime)";
        useShippedConverter();
        setText("RINEX_ARCHIVE_DIR", "C:\\archive");
        setToken("RINEX_ARCHIVE_INTERVAL_S", 30);
        // Records its arguments, a line each and a blank line after; hangs, with a child, for a file
        // named hang.
        std::ofstream(m_suite.root() + "/bin/afterrinex")
            << "#!/bin/sh\nprintf '%s\\n' \"$@\" '' >> '" << m_suite.root() << "/handed'\n"
            << "case \"$1\" in *hang*) sleep 1000 & echo $! > '" << m_suite.root()
            << "/sleeper'; wait;; esac\n";
        fs::permissions(m_suite.root() + "/bin/afterrinex", fs::perms::owner_all);
    }

    // testglo.rtcm3 into each file on its own day; the trace once every file was handed on.
    void logAndStop(const std::vector<std::string>& files)
    {
        startLoggerAt("@2009-12-18 23:11:00");
        for (const std::string& file : files)
        {
            command({"start", "C:\\rtcm", file, "60", "3011"});
            send(demoFrames());
            ASSERT_TRUE(fileHolds(native("C:\\rtcm\\" + file), joined(demoFrames())));
        }
        command({"stop"});
        ASSERT_TRUE(m_logger->waitForOutput("\tInfo: afterrinex for C:\\rtcm\\" + files.back(), 90s))
            << m_logger->output();
    }
};

std::string unzipped(const std::string& path)
{
    return std::system(("gzip -dc '" + path + "' > '" + path + ".text'").c_str()) == 0
               ? readFile(path + ".text")
               : std::string();
}

TEST_F(ArchiveHandOff, TheCopyHasItsLongNameAnd30SecondEpochsAndAfterRinexGetsEveryFile)
{
    setText("RINEX_MARKER_NAME", "zelt base");
    setText("RINEX_COUNTRY", "Norway");
    logAndStop({"base.rtcm"});
    // 2009-12-18 is day 352; 23:07:00 to 23:10:05 rounds up to four minutes.
    const std::string archive = native("C:\\archive\\ZELT00NOR_S_20093522307_04M_");
    const std::string copy = unzipped(archive + "30S_MO.rnx.gz");
    EXPECT_EQ(copy.rfind("     3.04           OBSERVATION DATA    M", 0), 0u) << copy.substr(0, 300);
    std::string epochs;
    for (std::size_t at = copy.find("\n> "); at != std::string::npos; at = copy.find("\n> ", at + 1))
        epochs += copy.substr(at + 17, 5) + ",";
    EXPECT_EQ(epochs, "07 00,07 30,08 00,08 30,09 00,09 30,10 00,");
    EXPECT_NE(unzipped(archive + "MN.rnx.gz").find("N: GNSS NAV DATA    M"), std::string::npos);

    const std::string rinex = native("C:\\rtcm\\20091218_230700");
    std::string expected = native("C:\\rtcm\\base.rtcm") + "\n";
    for (const char* suffix : {".08o", ".08n", ".08g", ".qc.json", ".qc.png"})
        expected += fs::exists(rinex + suffix) ? rinex + suffix + "\n" : "";
    expected += archive + "30S_MO.rnx.gz\n" + archive + "MN.rnx.gz\n\n";
    EXPECT_EQ(readFile(m_suite.root() + "/handed"), expected);
    const std::string written = "C:\\archive\\ZELT00NOR_S_20093522307_04M_";
    for (const std::string& line :
         {std::string("Info: Archive name of C:\\rtcm\\base.rtcm: country \"Norway\" taken as \"NOR\" (three "
                      "letters).\n"),
          "Info: Archive copy of C:\\rtcm\\base.rtcm: " + written + "30S_MO.rnx.gz, " + written +
              "MN.rnx.gz.\n",
          "Info: afterrinex for C:\\rtcm\\base.rtcm (" +
              std::to_string(std::ranges::count(expected, '\n') - 2) + " files) ended with exit status 0.\n"})
        EXPECT_EQ(m_logger->occurrences(line), 1u) << line << m_logger->output();
    EXPECT_EQ(terminate(), 0);
}

// An archive folder that can not be made (a file is in its place) leaves the suite's RINEX as it is; an
// afterrinex that hangs is ended with what it started at its limit, and the next file is handed on all the
// same.
TEST_F(ArchiveHandOff, AHangingAfterRinexIsEndedAtItsLimitAndAnUnwritableArchiveIsReported)
{
    setToken("RTCM_CONVERSION_TIME_LIMIT", 8);
    std::ofstream(native("C:\\archive")) << "not a folder\n";
    logAndStop({"hang.rtcm", "next.rtcm"});
    EXPECT_EQ(readFile(m_suite.root() + "/handed").rfind(native("C:\\rtcm\\hang.rtcm") + "\n", 0), 0u);
    EXPECT_TRUE(fs::exists(native("C:\\rtcm\\20091218_230700.08o")) &&
                fs::exists(native("C:\\rtcm\\20091218_230700_1.08o")));
    const std::string output = m_logger->output();
    for (const std::string file : {"hang", "next"})
        EXPECT_EQ(m_logger->occurrences("WARNING: Archive copy of C:\\rtcm\\" + file +
                                        ".rtcm not written: can not create C:\\archive.\n"),
                  1u)
            << output;
    EXPECT_NE(
        output.find(" files) ran past its time limit of 8 s and was ended with every program it started.\n"),
        std::string::npos)
        << output;
    EXPECT_NE(output.find("Info: Ended with afterrinex for C:\\rtcm\\hang.rtcm: 2 programs: "),
              std::string::npos);
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(std::stoi(readFile(m_suite.root() + "/sleeper")))));
    EXPECT_EQ(terminate(), 0);
    // Told once: the second failure in a row is in the trace only.
    EXPECT_EQ(m_suite.column("SELECT mess FROM arrivedMessagesString WHERE mess LIKE '%archive copy%'"),
              std::vector<std::string>{"RTCM logger: not able to write the RINEX archive copy "
                                       "C:\\archive\\000000XXX_S_20093522307_04M_30S_MO.rnx.gz"});
}

} // namespace
