// Frame search, CRC-24Q, dispatch and the station messages.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using namespace Rtcm3Test;

namespace
{

Bytes position1005(int station = 0)
{
    return positionMessage(1005, station, -38692975138, 34365713345, 37173693757);
}

TEST(Crc24q, MatchesTheKnownCheckValue)
{
    const char* check = "123456789";
    EXPECT_EQ(Rtcm3::crc24q(reinterpret_cast<const unsigned char*>(check), 9), 0xCDE703u);
    const unsigned char empty[1] = {0};
    EXPECT_EQ(Rtcm3::crc24q(empty, 0), 0u);
}

TEST(SyncFrame, SkipsGarbageWithPreamblesBeforeAFrame)
{
    // A preamble whose length field asks for 1000 bytes only delays the search until the CRC fails.
    Bytes stream = {0x00, 0xD3, 0xD3, 0x03, 0xE8, 0x41, 0xD3, 0x00, 0x05, 0x01, 0x02};
    for (int i = 0; i < 1100; ++i)
        stream.push_back(static_cast<unsigned char>(i * 7));
    append(stream, position1005());
    // Preambles late in the garbage may ask for bytes beyond the frame: the stream goes on.
    stream.resize(stream.size() + 1100, 0);
    auto decoder = newDecoder();
    EXPECT_EQ(decodedMessages(feedAll(*decoder, stream)), std::vector<int>{1005});
    EXPECT_EQ(decoder->stationX, -38692975138.0);
    EXPECT_EQ(decoder->stationY, 34365713345.0);
    EXPECT_EQ(decoder->stationZ, 37173693757.0);
    EXPECT_LE(decoder->byteCount, 1029);
}

TEST(SyncFrame, ConsumesAZeroLengthFrameAndDecodesTheNext)
{
    const Bytes empty = Rtcm3::FrameWriter().frame();
    ASSERT_EQ(empty.size(), 6u);
    auto decoder = newDecoder();
    const Rtcm3::DecodeResult result = feedFrame(*decoder, empty);
    EXPECT_TRUE(result.fromStation);
    EXPECT_EQ(result.message, 0);
    const std::vector<int> perByte = feedAll(*decoder, position1005());
    EXPECT_EQ(decodedMessages(perByte), std::vector<int>{1005});
    EXPECT_EQ(perByte.back(), 1005);
}

TEST(SyncFrame, TwoFramesByteByByteEachDecodedOnItsLastByte)
{
    const Bytes first = position1005();
    Bytes stream = first;
    append(stream, Rtcm3::systemParametersFrame(0, 55183, 83205, 15));
    auto decoder = newDecoder();
    const std::vector<int> perByte = feedAll(*decoder, stream);
    for (size_t i = 0; i < perByte.size(); ++i)
    {
        const int expected = i == first.size() - 1 ? 1005 : i == stream.size() - 1 ? 1013 : 0;
        EXPECT_EQ(perByte[i], expected) << "byte " << i;
    }
    EXPECT_EQ(decoder->mjd, 55183);
    EXPECT_EQ(decoder->secondsOfDay, 83205);
    EXPECT_EQ(decoder->leapSeconds, 15);
}

TEST(SyncFrame, SkipsAFrameWithAWrongCrc)
{
    Bytes bad = Rtcm3::systemParametersFrame(0, 1, 2, 3);
    bad.back() ^= 0x01;
    Bytes stream = bad;
    append(stream, position1005());
    auto decoder = newDecoder();
    EXPECT_EQ(decodedMessages(feedAll(*decoder, stream)), std::vector<int>{1005});
    EXPECT_EQ(decoder->mjd, 0);
}

TEST(Dispatch, StationFilterDropsForeignStationsButNotEphemerides)
{
    Bytes stream = position1005(5);
    // Ephemerides carry no station ID; their content is not looked at.
    append(stream, Rtcm3::FrameWriter().put(1019, 12).put(0xFFF, 12).put(0, 40).frame());
    append(stream, Rtcm3::FrameWriter().put(1020, 12).put(0x123, 12).put(0, 40).frame());
    auto decoder = newDecoder();
    EXPECT_EQ(decodedMessages(feedAll(*decoder, stream)), (std::vector<int>{1019, 1020}));
    EXPECT_EQ(decoder->stationX, 0.0);

    auto station5 = newDecoder();
    station5->stationFilter = 5;
    EXPECT_EQ(decodedMessages(feedAll(*station5, position1005(5))), std::vector<int>{1005});
    EXPECT_EQ(station5->stationX, -38692975138.0);
}

TEST(Dispatch, AntennaDescriptorsOfAllThreeMessages)
{
    const std::string longest(255, 'A');
    for (int message : {1007, 1008, 1033})
    {
        for (const std::string& text : {std::string("TRM41249.00     NONE"), longest, std::string()})
        {
            auto decoder = newDecoder();
            std::strcpy(decoder->antennaDescriptor, "old");
            EXPECT_EQ(feedFrame(*decoder, Rtcm3::antennaDescriptorFrame(message, 0, text)).message, message);
            EXPECT_EQ(std::string(decoder->antennaDescriptor), text) << message;
        }
    }
}

TEST(Dispatch, AntennaDescriptorLengthIsCutAtThePayload)
{
    // The length byte claims 200 characters; only 5 follow before the CRC.
    const Bytes frame = Rtcm3::FrameWriter().put(1033, 12).put(0, 12).put(200, 8).putText("ABCDE").frame();
    auto decoder = newDecoder();
    EXPECT_EQ(feedFrame(*decoder, frame).message, 1033);
    EXPECT_EQ(std::string(decoder->antennaDescriptor), "ABCDE");
}

TEST(Dispatch, MessagesNotDecodedAreReturnedUnchanged)
{
    // Numbers 1 and 2 are messages like any other, not released epochs.
    for (int message : {1, 2, 1014, 1029, 1230, 4094})
    {
        auto decoder = newDecoder();
        feedFrame(*decoder, position1005());
        const Bytes frame = Rtcm3::FrameWriter().put(message, 12).put(0, 12).put(0xABCDEF, 24).frame();
        auto before = std::make_unique<Rtcm3::Rtcm3Decoder>(*decoder);
        const Rtcm3::DecodeResult result = feedFrame(*decoder, frame);
        EXPECT_EQ(result.message, message);
        EXPECT_EQ(result.status, Rtcm3::DecodeStatus::Message);
        EXPECT_EQ(decoder->stationX, before->stationX);
        EXPECT_EQ(std::memcmp(&decoder->completed, &before->completed, sizeof decoder->completed), 0);
        EXPECT_EQ(decoder->gpsWeek, before->gpsWeek);
    }
}

TEST(Dispatch, StationPositionAndHeightOf1006)
{
    auto decoder = newDecoder();
    EXPECT_EQ(feedFrame(*decoder, positionMessage(1006, 0, 137438953471, -137438953472, -1, 65535)).message,
              1006);
    EXPECT_EQ(decoder->stationX, 137438953471.0);
    EXPECT_EQ(decoder->stationY, -137438953472.0);
    EXPECT_EQ(decoder->stationZ, -1.0);
    EXPECT_EQ(decoder->antennaHeight, 65535.0);
}

TEST(Dispatch, FieldsPastAShortPayloadReadAsZero)
{
    // A 1013 whose payload ends after the MJD: the rest reads as zero, nothing beyond is touched.
    auto decoder = newDecoder();
    decoder->secondsOfDay = 77;
    decoder->leapSeconds = 9;
    EXPECT_EQ(
        feedFrame(*decoder, Rtcm3::FrameWriter().put(1013, 12).put(0, 12).put(55183, 16).frame()).message,
        1013);
    EXPECT_EQ(decoder->mjd, 55183);
    EXPECT_EQ(decoder->secondsOfDay, 0);
    EXPECT_EQ(decoder->leapSeconds, 0);
}

// Each capture's messages of its own station are counted in its golden decode; the station filter
// also keeps another station's frames out.
TEST(Captures, TheStationFilterPassesOnlyItsStationsMessages)
{
    auto decoder = newDecoder();
    decoder->stationFilter = 0;
    std::map<int, int> counts;
    for (int message : decodedMessages(feedAll(*decoder, readFile(captureFile("station278.rtcm3")))))
        ++counts[message];
    // The capture's one text message carries station 0.
    EXPECT_EQ(counts, (std::map<int, int>{{1029, 1}}));
}

} // namespace
