// The driver's scan, first epoch and RINEX name.
#include "Rtcm3/ConvertLogFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace Rtcm3Test;

namespace
{

constexpr int kWeek1500Friday = 54749; // 2008-10-10

struct ScanOutcome
{
    bool converts;
    Rtcm3::ScanResult result;
    std::string errors;
};

ScanOutcome scanBytes(const Bytes& bytes)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    auto decoder = newDecoder(0);
    ScanOutcome outcome{};
    testing::internal::CaptureStderr();
    outcome.converts = Rtcm3::scanLogFile(file.get(), *decoder, outcome.result);
    outcome.errors = testing::internal::GetCapturedStderr();
    return outcome;
}

std::string nameOf(const Rtcm3::ScanResult& result, const std::string& directory = "C:\\rtcm")
{
    Rtcm3::EpochTime time{};
    Rtcm3::firstEpochTime(result.mjd, result.secondsOfDay, result.firstSecondsOfWeek, time);
    return Rtcm3::rinexFileName(directory, time);
}

const std::string kAllMissing = "No measurement data on input file\n"
                                "No position information on input file\n"
                                "No antenna descriptor on input file\n"
                                "No date information on input file\n";

TEST(FirstEpochTime, NamesTheFileAfterTheFirstEpoch)
{
    struct NameCase
    {
        int mjd;
        int secondsOfDay;
        double firstSecondsOfWeek;
        const char* directory;
        const char* name;
    };
    const NameCase cases[] = {
        // Friday 12:00:17 GPS time, 1013 of the same day.
        {kWeek1500Friday, 43000, 475217, "C:\\logs", "C:\\logs\\20081010_120017.08o"},
        // A 1013 from the end of the previous week moves the week up.
        {54743, 86000, 100, "C:\\logs", "C:\\logs\\20081005_000140.08o"},
        // One from the start of the next week moves it down.
        {54751, 10, 604700, "C:\\logs", "C:\\logs\\20081011_235820.08o"},
        // Always one backslash inserted, also after one already there.
        {kWeek1500Friday, 43000, 475217, "D:\\rtcm\\", "D:\\rtcm\\\\20081010_120017.08o"},
    };
    for (const NameCase& c : cases)
    {
        Rtcm3::EpochTime time{};
        Rtcm3::firstEpochTime(c.mjd, c.secondsOfDay, c.firstSecondsOfWeek, time);
        EXPECT_EQ(Rtcm3::rinexFileName(c.directory, time), c.name);
    }

    Rtcm3::EpochTime time{};
    Rtcm3::firstEpochTime(kWeek1500Friday, 43000, 475217.25, time);
    EXPECT_EQ(time.gpsWeek, 1500);
    EXPECT_DOUBLE_EQ(time.seconds, 17.25);
    EXPECT_DOUBLE_EQ(time.secondsOfWeek, 475217.25);
}

TEST(ScanLogFile, ReportsEachMissingKindOfInformation)
{
    struct MissingCase
    {
        const char* what;
        Bytes bytes;
        std::string errors;
    };
    const MissingCase cases[] = {
        {"empty file", {}, kAllMissing},
        {"testglo as recorded, not known when opened", readFile(captureFile("testglo.rtcm3")),
         "No date information on input file\n"},
        // Everything comes from station 278: the filter drops it all.
        {"foreign station", readFile(captureFile("station278.rtcm3")), kAllMissing},
        {"garbage", Bytes(5000, 0xD3), kAllMissing},
        // The capture's ephemerides (1019, 1020, no station ID) alone at station 0.
        {"ephemerides only", restamped(readFile(captureFile("testglo.rtcm3")), 5), kAllMissing},
    };
    for (const MissingCase& c : cases)
    {
        const ScanOutcome outcome = scanBytes(c.bytes);
        EXPECT_FALSE(outcome.converts) << c.what;
        EXPECT_EQ(outcome.errors, c.errors) << c.what;
    }
}

TEST(ScanLogFile, FindsPositionAntennaAndDateAfterAThousandMessages)
{
    Bytes file;
    for (int i = 0; i < 1200; ++i)
        append(file, gpsMessage(1001, 475217000 + i * 1000, 0, {Satellite{}}));
    append(file, positionMessage(1005, 0, 1, 2, 3));
    append(file, Rtcm3::antennaDescriptorFrame(1033, 0, "ANT"));
    append(file, Rtcm3::systemParametersFrame(0, kWeek1500Friday, 43000, 14));
    append(file, positionMessage(1006, 0, 4, 5, 6, 7));
    const ScanOutcome outcome = scanBytes(file);
    EXPECT_EQ(outcome.errors, "");
    EXPECT_EQ(nameOf(outcome.result), "C:\\rtcm\\20081010_120017.08o");
    EXPECT_EQ(outcome.result.antennaHeight, 0.0); // the first position's, a 1005 without one
}

// testglo.rtcm3 is Friday 2009-12-18 from 23:07:00 GPS time (week 1562, GPS-UTC 15 s).
TEST(ScanLogFile, DatesAFileThatBeginsWithGlonassByItsDateMessage)
{
    const Bytes capture = readFile(captureFile("testglo.rtcm3"));
    ASSERT_FALSE(capture.empty());
    Bytes header = Rtcm3::antennaDescriptorFrame(1033, 0, "TRM41249.00     NONE");
    append(header, Rtcm3::systemParametersFrame(0, 55183, 83205, 15));

    // Cut the capture where a rotation might have: just before its first 1012.
    auto finder = newDecoder();
    const std::vector<int> perByte = feedAll(*finder, capture);
    size_t cut = 0;
    for (size_t i = 0; i < perByte.size() && cut == 0; ++i)
    {
        if (perByte[i] == 1012)
            cut = i + 1 - static_cast<size_t>(finder->payloadLength + 6);
    }
    ASSERT_NE(cut, 0u);
    ASSERT_EQ(capture[cut], 0xD3);

    Bytes glonassFirst = header;
    glonassFirst.insert(glonassFirst.end(), capture.begin() + static_cast<std::ptrdiff_t>(cut),
                        capture.end());
    const ScanOutcome glonass = scanBytes(glonassFirst);
    ASSERT_TRUE(glonass.converts) << glonass.errors;
    EXPECT_EQ(glonass.result.firstObservationMessage, 1012);
    EXPECT_EQ(glonass.result.firstSecondsOfWeek, 515220);
    EXPECT_EQ(nameOf(glonass.result), "C:\\rtcm\\20091218_230700.08o");

    // A file that begins with GPS is named as it always was.
    Bytes gpsFirst = header;
    append(gpsFirst, capture);
    const ScanOutcome gps = scanBytes(gpsFirst);
    ASSERT_TRUE(gps.converts) << gps.errors;
    EXPECT_EQ(gps.result.firstObservationMessage, 1004);
    EXPECT_EQ(gps.result.firstSecondsOfWeek, 515220);
    EXPECT_EQ(nameOf(gps.result), "C:\\rtcm\\20091218_230700.08o");
}

TEST(ScanLogFile, SeesEveryFrameThatOneByteCompletes)
{
    const Bytes demo = convertibleCapture();
    const ScanOutcome plain = scanBytes(demo);
    ASSERT_TRUE(plain.converts) << plain.errors;

    // A stray preamble whose length field (300) holds back the frames behind it until its CRC fails.
    Bytes prefixed = {0x17, 0x42, 0xD3, 0x01, 0x2C};
    append(prefixed, demo);
    const ScanOutcome outcome = scanBytes(prefixed);
    ASSERT_TRUE(outcome.converts) << outcome.errors;
    EXPECT_EQ(nameOf(outcome.result), nameOf(plain.result));
    EXPECT_EQ(outcome.result.messageCount, plain.result.messageCount);

    // Cut anywhere, as a file that begins in the middle of a frame: the scan finds what it finds
    // from the next whole frame on.
    const Bytes header(demo.begin(), demo.end() - static_cast<std::ptrdiff_t>(
                                                      readFile(captureFile("testglo.rtcm3")).size()));
    const Bytes capture(demo.begin() + static_cast<std::ptrdiff_t>(header.size()), demo.end());
    const std::vector<std::size_t> starts = frameStarts(capture);
    for (std::size_t cut = 1; cut < capture.size(); cut += 193)
    {
        const auto nextStart = std::lower_bound(starts.begin(), starts.end(), cut);
        if (nextStart == starts.end())
            break;
        const std::size_t next = *nextStart;
        Bytes cutFile = header;
        cutFile.insert(cutFile.end(), capture.begin() + static_cast<std::ptrdiff_t>(cut), capture.end());
        Bytes wholeFrames = header;
        wholeFrames.insert(wholeFrames.end(), capture.begin() + static_cast<std::ptrdiff_t>(next),
                           capture.end());
        const ScanOutcome got = scanBytes(cutFile);
        const ScanOutcome expected = scanBytes(wholeFrames);
        ASSERT_EQ(got.converts, expected.converts) << "cut at " << cut;
        EXPECT_EQ(got.result.messageCount, expected.result.messageCount) << "cut at " << cut;
        if (expected.converts)
        {
            EXPECT_EQ(nameOf(got.result), nameOf(expected.result)) << "cut at " << cut;
        }
    }
}

TEST(ConvertLogFile, ReportsAFileThatCannotBeOpened)
{
    TempDir root;
    setenv("ZELT_ROOT", root.path().c_str(), 1);
    testing::internal::CaptureStderr();
    std::string problem;
    Platform::ProcessGroup script;
    EXPECT_FALSE(convertInPlace("C:\\rtcm\\missing file.rtcm", "C:\\rtcm", script, &problem));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can not open file C:\\rtcm\\missing file.rtcm\n");
    EXPECT_EQ(problem, "Can not open file");

    // What a file lacks is told to the caller too, in the words of the standard error lines.
    std::filesystem::create_directories(root.path() + "/c");
    writeFile(root.path() + "/c/other.rtcm", readFile(captureFile("station278.rtcm3")));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(convertInPlace("C:\\other.rtcm", "C:", script, &problem));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(problem, "No measurement data on input file; No position information on input file; No antenna "
                       "descriptor on input file; No date information on input file");
}

} // namespace
