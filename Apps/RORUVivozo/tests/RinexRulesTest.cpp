// Real bases' files end to end: the built logger logs each, the shipped "makerinex.bat" and convbin turn
// it into RINEX named at convbin's first epoch, labelled from the tokens.
#include "support/LoggerFixture.h"

#include "Captures/CaptureFile.h"
#include "Rtcm3/FrameWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace VivozoTest;
namespace fs = std::filesystem;

namespace
{

constexpr char kFakeTime[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

int messageOf(const std::string& frame)
{
    return (static_cast<unsigned char>(frame[3]) << 4) | (static_cast<unsigned char>(frame[4]) >> 4);
}

std::vector<std::string> captureFrames(const char* name)
{
    return rtcmFrames(readFile(VivozoCaptures::captureFile(name)));
}

// testglo.rtcm3 with its ephemerides sent 30 times over and only its last 1005, after message 1000.
std::vector<std::string> lateSinglePosition()
{
    std::vector<std::string> frames;
    const std::vector<std::string> capture = captureFrames("testglo.rtcm3");
    const auto last =
        std::find_if(capture.rbegin(), capture.rend(), [](auto& f) { return messageOf(f) == 1005; });
    for (auto frame = capture.begin(); frame != capture.end(); ++frame)
    {
        const int message = messageOf(*frame);
        const int copies =
            message == 1019 || message == 1020 ? 30 : message != 1005 || frame == last.base() - 1;
        frames.insert(frames.end(), copies, *frame);
    }
    return frames;
}

// The u-blox capture from its first legacy 1004 on, every frame moved to station 0: legacy and MSM
// observations of the same epochs, the legacy ones first.
std::vector<std::string> legacyThenMsm()
{
    std::vector<std::string> frames;
    for (const std::string& frame : captureFrames("f9p-msm.rtcm3"))
    {
        const auto moved = Rtcm3::withStation({frame.begin(), frame.end()}, 0);
        if (messageOf(frame) == 1004 || !frames.empty())
            frames.emplace_back(moved.begin(), moved.end());
    }
    return frames;
}

class RinexRules : public LoggerFixture
{
protected:
    void setText(const std::string& token, const std::string& value)
    {
        ASSERT_TRUE(m_suite.exec("UPDATE varchar_values SET value = '" + value +
                                 "' WHERE id = (SELECT value_id FROM token_value WHERE token = '" + token +
                                 "')"));
    }
};

TEST_F(RinexRules, EveryRealBaseFileConvertsLabelledFromTheTokens)
{
    if (std::system("command -v convbin >/dev/null 2>&1") != 0 || !fs::exists(kFakeTime))
        GTEST_SKIP() << "convbin or libfaketime is not installed (Debian packages rtklib, faketime)";
    // The README's recipe: only scripts/bin on the search path.
    const std::string source =
        std::getenv("VIVOZO_SOURCE_DIR") != nullptr ? std::getenv("VIVOZO_SOURCE_DIR") : ".";
    ::setenv("PATH", (source + "/scripts/bin:" + std::getenv("PATH")).c_str(), 1);
    setText("RINEX_MARKER_NAME", "ZELT BASE");
    setText("RINEX_MARKER_NUMBER", "10317M001");
    setText("RINEX_OBSERVER", "Night watch");
    setText("RINEX_AGENCY", "Hollvik Survey");
    struct Case
    {
        const char* directory;
        std::vector<std::string> frames;
        const char* version;
        std::size_t epochs; // RINEX 2 epoch lines
        const char* expected;
        // The logger's clock: the capture's own day, so that the opening dates the file as it did then.
        const char* clock;
    };
    const char* kPosition =
        "\n -3869297.5138  3436571.3345  3717369.3757                  APPROX POSITION XYZ";
    const Case cases[] = {
        {"testglo", captureFrames("testglo.rtcm3"), "2.11", 186, kPosition, "@2009-12-18 23:11:00"},
        {"late", lateSinglePosition(), "2.11", 186, kPosition, "@2009-12-18 23:11:00"},
        {"mixed", legacyThenMsm(), "3.04", 0, "\nR    9 C1C L1C S1C C2P L2P S2P C2C L2C S2C", nullptr}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.directory);
        const std::string directory = std::string("C:\\rtcm\\") + c.directory;
        if (c.clock != nullptr)
        {
            ::setenv("LD_PRELOAD", kFakeTime, 1);
            ::setenv("FAKETIME", c.clock, 1);
        }
        startLogger();
        ::unsetenv("LD_PRELOAD");
        command({"start", directory, "base.rtcm", "60", "3011"});
        send(c.frames);
        ASSERT_TRUE(fileHolds(native(directory + "\\base.rtcm"), joined(c.frames)));
        command({"stop"});
        fs::path rinex;
        ASSERT_TRUE(eventually(
            [&]
            {
                for (const auto& entry : fs::directory_iterator(native(directory)))
                    rinex = entry.path().extension() == ".08o" ? entry.path() : rinex;
                return !rinex.empty();
            },
            60s))
            << m_logger->output();
        const std::string text = readFile(rinex.string());
        const std::string header = text.substr(0, text.find("END OF HEADER"));
        // Named at convbin's first epoch; the log file and the tokens in the header, no descriptor path.
        const std::string n = rinex.stem().string();
        const std::string first = "  " + n.substr(0, 4) + "    " + n.substr(4, 2) + "    " + n.substr(6, 2) +
                                  "    " + n.substr(9, 2) + "    " + n.substr(11, 2) + "   " +
                                  n.substr(13, 2);
        std::size_t at = 0;
        for (const std::string& piece :
             {"     " + std::string(c.version) + "           OBSERVATION DATA",
              "\nlog: " + directory + "\\base.rtcm ", std::string("\nZELT BASE  "),
              std::string("MARKER NAME"), std::string("\n10317M001  "), std::string("MARKER NUMBER"),
              std::string("\nNight watch         Hollvik Survey  "), std::string("OBSERVER / AGENCY"),
              std::string(c.expected), "\n" + first + ".0000000     GPS         TIME OF FIRST OBS"})
            EXPECT_NE(at = header.find(piece, at), std::string::npos) << piece << "\n" << header;
        EXPECT_EQ(text.find("/dev/fd"), std::string::npos);
        std::size_t epochs = 0;
        const std::string epoch = "\n " + n.substr(2, 2) + " " + n.substr(4, 2) + " " + n.substr(6, 2) + " ";
        for (std::size_t at = 0; (at = text.find(epoch, at + 1)) != std::string::npos;)
            ++epochs;
        EXPECT_EQ(epochs, c.epochs);
        EXPECT_EQ(terminate(), 0);
    }
}

} // namespace
