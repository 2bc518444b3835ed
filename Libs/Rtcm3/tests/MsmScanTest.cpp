// The scan of a file whose observations are MSM: what it needs, how it is dated, which station it reads.
#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/ScanContext.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace Rtcm3Test;

namespace
{

constexpr std::time_t kOpened = 1653435660; // 2022-05-24 23:41:00 UTC, the u-blox capture's day

struct ScanOutcome
{
    bool converts;
    Rtcm3::ScanResult result;
    std::string errors;
    std::string name;
};

ScanOutcome scan(const Bytes& bytes, const Rtcm3::ScanContext& context)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    auto decoder = newDecoder(0);
    ScanOutcome outcome{};
    testing::internal::CaptureStderr();
    outcome.converts = Rtcm3::scanLogFile(file.get(), *decoder, outcome.result, context);
    outcome.errors = testing::internal::GetCapturedStderr();
    Rtcm3::EpochTime time{};
    Rtcm3::firstEpochTime(outcome.result.mjd, outcome.result.secondsOfDay, outcome.result.firstSecondsOfWeek,
                          time);
    outcome.name = Rtcm3::rinexFileName("C:\\rtcm", time);
    return outcome;
}

// The frames of station 0 in the u-blox capture (MSM7 of GPS and GLONASS, no 1005, 1013 or antenna),
// each moved to the given station, after a 1005 of that station when asked for.
Bytes baseStream(int station, bool withPosition)
{
    Bytes stream;
    if (withPosition)
        append(stream, Rtcm3::stationPositionFrame(1005, station, -23862950000, -39232960000, 44135790000));
    const Bytes capture = readFile(captureFile("f9p-msm.rtcm3"));
    for (std::size_t at = 0; at + 6 <= capture.size();)
    {
        const std::size_t length = ((capture[at + 1] & 0x03u) << 8) | capture[at + 2];
        const int frameStation = ((capture[at + 4] & 0x0F) << 8) | capture[at + 5];
        if (capture[at] != 0xD3 || at + length + 6 > capture.size())
        {
            ++at;
            continue;
        }
        const auto crcAt = [&](std::size_t k)
        { return static_cast<std::uint32_t>(capture[at + length + 3 + k]); };
        if (Rtcm3::crc24q(capture.data() + at, static_cast<int>(length) + 3) !=
            ((crcAt(0) << 16) | (crcAt(1) << 8) | crcAt(2)))
        {
            ++at;
            continue;
        }
        if (frameStation == 0)
            append(stream, Rtcm3::withStation(Bytes(capture.begin() + at, capture.begin() + at + length + 6),
                                              station));
        at += length + 6;
    }
    return stream;
}

const char kNoAntenna[] = "Info: no antenna descriptor on input file, converting without one\n";
const char kNoDate[] = "Info: no date information on input file, dated by the opening of the file\n";

TEST(MsmScan, APositionAndTheOpeningTimeAreEnough)
{
    const ScanOutcome outcome = scan(baseStream(0, true), {0, kOpened});
    EXPECT_TRUE(outcome.converts) << outcome.errors;
    EXPECT_EQ(outcome.errors, std::string(kNoAntenna) + kNoDate);
    EXPECT_EQ(outcome.result.firstObservationMessage, 1077);
    EXPECT_EQ(outcome.name, "C:\\rtcm\\20220524_234059.08o");

    // A 1013 dates the file instead of the opening time; an antenna descriptor is taken when there is one.
    Bytes dated = Rtcm3::antennaDescriptorFrame(1033, 0, "TRM59800.00     NONE");
    append(dated, Rtcm3::systemParametersFrame(0, 59723, 85000, 18)); // 2022-05-24
    append(dated, baseStream(0, true));
    const ScanOutcome withDate = scan(dated, {0, kOpened + 3 * 86400});
    EXPECT_TRUE(withDate.converts);
    EXPECT_EQ(withDate.errors, "");
    EXPECT_EQ(withDate.name, "C:\\rtcm\\20220524_234059.08o");
}

TEST(MsmScan, WhatAnMsmFileLacksIsTold)
{
    const ScanOutcome noPosition = scan(baseStream(0, false), {0, kOpened});
    EXPECT_TRUE(noPosition.converts);
    EXPECT_EQ(noPosition.errors.rfind("Info: no station position on input file, converting without one\n", 0),
              0u);

    const ScanOutcome noDate = scan(baseStream(0, true), {0, 0});
    EXPECT_FALSE(noDate.converts);
    EXPECT_EQ(noDate.errors, "No date information on input file\n");
}

TEST(MsmScan, AFileThatBeginsWithGlonassIsDatedInGpsTime)
{
    // Without the GPS message, the first epoch is GLONASS's: the same 23:40:59 GPS time.
    Bytes glonassFirst = Rtcm3::stationPositionFrame(1005, 0, 1, 2, 3);
    const Bytes stream = baseStream(0, false);
    for (std::size_t at = 0; at + 6 <= stream.size();)
    {
        const std::size_t length = ((stream[at + 1] & 0x03u) << 8) | stream[at + 2];
        const int message = (stream[at + 3] << 4) | (stream[at + 4] >> 4);
        if (message != 1077)
            append(glonassFirst, Bytes(stream.begin() + at, stream.begin() + at + length + 6));
        at += length + 6;
    }
    const ScanOutcome outcome = scan(glonassFirst, {0, kOpened});
    EXPECT_TRUE(outcome.converts) << outcome.errors;
    EXPECT_EQ(outcome.result.firstObservationMessage, 1087);
    EXPECT_EQ(outcome.name, "C:\\rtcm\\20220524_234059.08o");
}

TEST(MsmScan, TheStationTokenSelectsTheReferenceStation)
{
    const Bytes moved = baseStream(278, true);
    const ScanOutcome station0 = scan(moved, {0, kOpened});
    EXPECT_FALSE(station0.converts);
    EXPECT_EQ(station0.errors.rfind("No measurement data on input file\n", 0), 0u) << station0.errors;

    const ScanOutcome station278 = scan(moved, {278, kOpened});
    EXPECT_TRUE(station278.converts) << station278.errors;
    EXPECT_EQ(station278.name, "C:\\rtcm\\20220524_234059.08o");
}

} // namespace
