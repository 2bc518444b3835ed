// Observation messages into epochs, and GLONASS time to GPS time.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Rtcm3Test;
using Rtcm3::ObservationEpoch;

namespace
{

constexpr double kLightMs = 299792.458;
constexpr int kTow = 515220000;            // Friday 23:07:00 GPS, week 1562 (2009-12-18)
constexpr int kGlonassSameEpoch = 7605000; // the same instant in GLONASS time (GPS-UTC 15 s)

int rowOf(const ObservationEpoch& epoch, int number)
{
    for (int row = 0; row < epoch.satelliteCount; ++row)
    {
        if (epoch.satellites[row] == number)
            return row;
    }
    return -1;
}

TEST(GpsObservations, SyncFlagZeroReleasesAtOnceWithAmbiguityResult)
{
    Satellite sat;
    sat.id = 5;
    auto decoder = newDecoder(1562);
    EXPECT_EQ(feedFrame(*decoder, gpsMessage(1004, kTow, 0, {sat})).status,
              Rtcm3::DecodeStatus::EpochReleased);
    const ObservationEpoch& epoch = decoder->completed;
    EXPECT_EQ(epoch.week, 1562);
    EXPECT_EQ(epoch.timeOfWeek, kTow);
    ASSERT_EQ(epoch.satelliteCount, 1);
    EXPECT_EQ(epoch.satellites[0], 5);
    EXPECT_EQ(decoder->collecting.week, 0);

    const double pr1 = 20000.0 + 70 * kLightMs;
    EXPECT_EQ(epoch.masks[0] & 0xFFFF, 0x1000 | 0x4000 | 0x0001 | 0x0002 | 0x0010 | 0x0040);
    EXPECT_DOUBLE_EQ(epoch.values[0][Rtcm3::kC1], pr1);
    EXPECT_DOUBLE_EQ(epoch.values[0][Rtcm3::kL1CA], (pr1 + 1.0) / 0.19029367279836487);
    EXPECT_DOUBLE_EQ(epoch.values[0][Rtcm3::kC2], pr1 + 2.0);
    EXPECT_DOUBLE_EQ(epoch.values[0][Rtcm3::kL2CA], (pr1 + 2.0) / 0.24421021342456825);
    EXPECT_DOUBLE_EQ(epoch.values[0][Rtcm3::kS1CA], 45.0);
    EXPECT_DOUBLE_EQ(epoch.values[0][Rtcm3::kS2CA], 40.0);

    // Without ambiguities the same data only give ranges modulo one light-millisecond.
    auto modulo = newDecoder(1562);
    EXPECT_EQ(feedFrame(*modulo, gpsMessage(1003, kTow, 0, {sat})).status,
              Rtcm3::DecodeStatus::EpochReleasedModulo);
    EXPECT_DOUBLE_EQ(modulo->completed.values[0][Rtcm3::kC1], 20000.0);
    EXPECT_DOUBLE_EQ(modulo->completed.values[0][Rtcm3::kC2], 20002.0);
}

TEST(GpsObservations, InvalidMarkersLeaveSlotsUnset)
{
    Satellite sat;
    sat.phase = -524288;
    sat.rangeDiff = -8192;
    sat.phase2 = -524288;
    sat.cnr1 = 0;
    sat.cnr2 = 0;
    auto decoder = newDecoder(1562);
    // With no L1 range set, the ambiguity resolves nothing: result 2.
    EXPECT_EQ(feedFrame(*decoder, gpsMessage(1004, kTow, 0, {sat})).status,
              Rtcm3::DecodeStatus::EpochReleasedModulo);
    EXPECT_EQ(decoder->completed.masks[0] & 0xFFFF, 0);
    EXPECT_EQ(decoder->completed.l1Strength[0], 0);
}

TEST(GpsObservations, GpsWeekZeroIgnoresTheMessage)
{
    auto decoder = newDecoder(0);
    const Rtcm3::DecodeResult result = feedFrame(*decoder, gpsMessage(1004, kTow, 0, {Satellite{}}));
    EXPECT_EQ(result.message, 1004);
    EXPECT_EQ(result.status, Rtcm3::DecodeStatus::Nothing);
    EXPECT_EQ(decoder->completed.week, 0);
}

TEST(Epochs, GpsAndGlonassOfOneInstantMakeOneEpoch)
{
    Satellite gps;
    gps.id = 12;
    Satellite glonass;
    glonass.id = 3;
    auto decoder = newDecoder(1562);
    EXPECT_EQ(feedFrame(*decoder, gpsMessage(1004, kTow, 1, {gps})).status, Rtcm3::DecodeStatus::Message);
    EXPECT_EQ(decoder->completed.week, 0);
    EXPECT_EQ(feedFrame(*decoder, glonassMessage(1012, kGlonassSameEpoch, 0, {glonass})).status,
              Rtcm3::DecodeStatus::EpochReleased);
    const ObservationEpoch& epoch = decoder->completed;
    EXPECT_EQ(epoch.timeOfWeek, kTow);
    ASSERT_EQ(epoch.satelliteCount, 2);
    EXPECT_EQ(epoch.satellites[0], 12);
    EXPECT_EQ(epoch.satellites[1], 40);
}

TEST(Epochs, ANewTimeReleasesTheWaitingEpoch)
{
    Satellite a;
    a.id = 1;
    Satellite b;
    b.id = 2;
    auto decoder = newDecoder(1562);
    EXPECT_EQ(feedFrame(*decoder, gpsMessage(1004, kTow, 1, {a})).status, Rtcm3::DecodeStatus::Message);
    EXPECT_EQ(feedFrame(*decoder, gpsMessage(1003, kTow + 1000, 1, {b})).status,
              Rtcm3::DecodeStatus::EpochReleasedModulo);
    EXPECT_EQ(decoder->completed.timeOfWeek, kTow);
    ASSERT_EQ(decoder->completed.satelliteCount, 1);
    EXPECT_EQ(decoder->completed.satellites[0], 1);
    EXPECT_EQ(decoder->collecting.timeOfWeek, kTow + 1000);
    ASSERT_EQ(decoder->collecting.satelliteCount, 1);
    EXPECT_EQ(decoder->collecting.satellites[0], 2);
}

TEST(Epochs, WeekRollsOverOnlyWhenTimeGoesBackMoreThanADay)
{
    struct RollCase
    {
        int lastSeconds;
        int towMs;
        int week;
    };
    const RollCase cases[] = {{604000, 100000, 1563}, {604000, 603000000, 1562}, {90000, 4000000, 1562}};
    for (const RollCase& c : cases)
    {
        auto decoder = newDecoder(1562);
        decoder->lastSecondsOfWeek = c.lastSeconds;
        feedFrame(*decoder, gpsMessage(1001, c.towMs, 0, {Satellite{}}));
        EXPECT_EQ(decoder->gpsWeek, c.week) << c.lastSeconds << " -> " << c.towMs;
        EXPECT_EQ(decoder->lastSecondsOfWeek, c.towMs / 1000);
    }
}

TEST(Epochs, SatelliteNumbering)
{
    std::vector<Satellite> gps(3);
    gps[0].id = 39;
    gps[1].id = 40;
    gps[2].id = 63;
    auto decoder = newDecoder(1562);
    feedFrame(*decoder, gpsMessage(1002, kTow, 0, gps));
    EXPECT_EQ(rowOf(decoder->completed, 39), 0);
    EXPECT_EQ(rowOf(decoder->completed, 120), 1);
    EXPECT_EQ(rowOf(decoder->completed, 143), 2);

    // GLONASS IDs outside 1 to 24 are read through and leave nothing behind.
    std::vector<Satellite> glonass(4);
    glonass[0].id = 0;
    glonass[1].id = 1;
    glonass[2].id = 25;
    glonass[3].id = 24;
    auto glo = newDecoder(1562);
    feedFrame(*glo, glonassMessage(1012, kGlonassSameEpoch, 0, glonass));
    const ObservationEpoch& epoch = glo->completed;
    ASSERT_EQ(epoch.satelliteCount, 2);
    EXPECT_EQ(epoch.satellites[0], 38);
    EXPECT_EQ(epoch.satellites[1], 61);
    for (int row = 2; row < Rtcm3::kMaxSatellites; ++row)
        EXPECT_EQ(epoch.masks[row], 0);
}

TEST(Epochs, NoMoreThan24SatellitesAndLaterFieldsStillRead)
{
    std::vector<Satellite> gps(20);
    for (int i = 0; i < 20; ++i)
        gps[i].id = i + 1;
    std::vector<Satellite> glonass(10);
    for (int i = 0; i < 10; ++i)
        glonass[i].id = i + 1;
    auto decoder = newDecoder(1562);
    feedFrame(*decoder, gpsMessage(1004, kTow, 1, gps));
    EXPECT_EQ(feedFrame(*decoder, glonassMessage(1012, kGlonassSameEpoch, 0, glonass)).status,
              Rtcm3::DecodeStatus::EpochReleased);
    EXPECT_EQ(decoder->completed.satelliteCount, 24);
    EXPECT_EQ(decoder->completed.satellites[23], 41);
    // Lock times of the ignored satellites were read in place: all 10 were stored.
    EXPECT_EQ(decoder->prevLockGloL1[10], 50);
    EXPECT_EQ(decoder->prevLockGloL2[10], 50);
}

TEST(Epochs, LossOfLockAgainstThePreviousMessage)
{
    struct LockCase
    {
        int previousId; // satellite of the first message
        int previousLock;
        int lock;
        bool lost;
    };
    const LockCase cases[] = {
        {7, 40, 50, false}, {7, 40, 40, false}, {7, 40, 39, true}, {7, 40, 0, true}, {8, 40, 1, false},
    };
    for (const LockCase& c : cases)
    {
        Satellite first;
        first.id = c.previousId;
        first.lock1 = first.lock2 = c.previousLock;
        Satellite second;
        second.id = 7;
        second.lock1 = second.lock2 = c.lock;
        auto decoder = newDecoder(1562);
        feedFrame(*decoder, gpsMessage(1004, kTow, 0, {first}));
        feedFrame(*decoder, gpsMessage(1004, kTow + 1000, 0, {second}));
        const int mask = decoder->completed.masks[0];
        EXPECT_EQ((mask & Rtcm3::kFlagL1LossOfLock) != 0, c.lost) << c.previousLock << " -> " << c.lock;
        EXPECT_EQ((mask & Rtcm3::kFlagL2LossOfLock) != 0, c.lost) << c.previousLock << " -> " << c.lock;

        auto glo = newDecoder(1562);
        feedFrame(*glo, glonassMessage(1012, kGlonassSameEpoch, 0, {first}));
        feedFrame(*glo, glonassMessage(1012, kGlonassSameEpoch + 1000, 0, {second}));
        EXPECT_EQ((glo->completed.masks[0] & Rtcm3::kFlagL1LossOfLock) != 0, c.lost);
    }
}

TEST(Epochs, L2CodeIndicatorTwoIsPCode)
{
    Satellite sat;
    sat.code2 = 2;
    auto decoder = newDecoder(1562);
    feedFrame(*decoder, gpsMessage(1004, kTow, 0, {sat}));
    const int gpsMask = decoder->completed.masks[0];
    EXPECT_EQ(gpsMask & Rtcm3::kL2SlotBits, 0x0008 | 0x0080 | 0x8000);
    EXPECT_NE(gpsMask & Rtcm3::kFlagL2CrossCorrelated, 0);

    auto glo = newDecoder(1562);
    feedFrame(*glo, glonassMessage(1012, kGlonassSameEpoch, 0, {sat}));
    const int gloMask = glo->completed.masks[0];
    EXPECT_EQ(gloMask & Rtcm3::kL2SlotBits, 0x0008 | 0x0080 | 0x8000);
    EXPECT_EQ(gloMask & Rtcm3::kFlagL2CrossCorrelated, 0);
}

TEST(Epochs, StrengthDigitsFromCarrierToNoise)
{
    const int cases[][2] = {{15, 1}, {16, 1}, {100, 6}, {200, 9}, {159, 9}, {160, 9}};
    for (const auto& c : cases)
    {
        Satellite sat;
        sat.cnr1 = c[0];
        sat.cnr2 = c[0];
        auto decoder = newDecoder(1562);
        feedFrame(*decoder, gpsMessage(1004, kTow, 0, {sat}));
        EXPECT_EQ(decoder->completed.l1Strength[0], c[1]) << c[0];
        EXPECT_EQ(decoder->completed.l2Strength[0], c[1]) << c[0];
    }
}

// Each of the four messages of a system carries its own set of fields; a wrong width or a field read
// in the wrong message would shift the second satellite.
TEST(Epochs, EachMessageCarriesItsOwnFields)
{
    constexpr int l1Bits = 1 << Rtcm3::kC1 | 1 << Rtcm3::kL1CA;
    constexpr int l2Bits = 1 << Rtcm3::kC2 | 1 << Rtcm3::kL2CA;
    for (const bool glonass : {false, true})
    {
        for (int variant = 0; variant < 4; ++variant)
        {
            const int message = (glonass ? 1009 : 1001) + variant;
            SCOPED_TRACE(message);
            Satellite first;
            first.id = 3;
            Satellite second;
            second.id = 9;
            second.range = 1234567;
            auto decoder = newDecoder(1562);
            decoder->lastSecondsOfWeek = kTow / 1000;
            const Bytes frame = glonass ? glonassMessage(message, kGlonassSameEpoch, 0, {first, second})
                                        : gpsMessage(message, kTow, 0, {first, second});
            feedFrame(*decoder, frame);
            const ObservationEpoch& epoch = decoder->completed;
            const int row = rowOf(epoch, glonass ? 46 : 9);
            ASSERT_GE(row, 0);

            const bool extended = variant == 1 || variant == 3;
            int expected = l1Bits;
            if (extended)
                expected |= 1 << Rtcm3::kS1CA;
            if (variant >= 2)
                expected |= l2Bits;
            if (variant == 3)
                expected |= 1 << Rtcm3::kS2CA;
            EXPECT_EQ(epoch.masks[row] & 0xFFFF, expected);
            const double pr1 = 1234567 * 0.02 + (extended ? 70 * (glonass ? 599584.916 : kLightMs) : 0.0);
            EXPECT_DOUBLE_EQ(epoch.values[row][Rtcm3::kC1], pr1);
            if (variant >= 2)
            {
                EXPECT_DOUBLE_EQ(epoch.values[row][Rtcm3::kC2], pr1 + 2.0);
            }
        }
    }
}

TEST(GlonassObservations, ChannelWavelengthAndAmbiguity)
{
    Satellite sat;
    sat.channel = 7 + 3;
    auto decoder = newDecoder(1562);
    decoder->lastSecondsOfWeek = kTow / 1000;
    EXPECT_EQ(feedFrame(*decoder, glonassMessage(1012, kGlonassSameEpoch, 0, {sat})).status,
              Rtcm3::DecodeStatus::EpochReleased);
    const double pr1 = 20000.0 + 70 * 599584.916;
    EXPECT_DOUBLE_EQ(decoder->completed.values[0][Rtcm3::kC1], pr1);
    EXPECT_DOUBLE_EQ(decoder->completed.values[0][Rtcm3::kL1CA], (pr1 + 1.0) / (299792458.0 / 1603687500.0));
    EXPECT_DOUBLE_EQ(decoder->completed.values[0][Rtcm3::kL2CA], (pr1 + 2.0) / (299792458.0 / 1247312500.0));
    EXPECT_EQ(decoder->completed.timeOfWeek, kTow);
}

TEST(GlonassTime, MatchesGpsTimeWithTheLeapSecondsOfItsDate)
{
    struct TimeCase
    {
        int week;
        int seconds;
        int leap;
    };
    // 2006 (14 s), 2009 (15 s), 2014 (16 s), 2016 (17 s), 2020 (18 s).
    const TimeCase cases[] = {
        {1356, 200000, 14}, {1562, 515220, 15}, {1800, 40000, 16}, {1900, 100000, 17}, {2089, 300000, 18}};
    for (const TimeCase& c : cases)
    {
        const int glonassMs = ((c.seconds - c.leap + 10800) % 86400) * 1000;
        int week = c.week;
        int seconds = c.seconds - 3600; // any reference within the same GLONASS day
        Rtcm3::glonassToGpsTime(week, seconds, glonassMs);
        EXPECT_EQ(week, c.week);
        EXPECT_EQ(seconds, c.seconds) << "week " << c.week;

        // A station's own count (its 1013) goes before the table.
        week = c.week;
        seconds = c.seconds - 3600;
        Rtcm3::glonassToGpsTime(week, seconds, glonassMs - 5000, c.leap + 5);
        EXPECT_EQ(seconds, c.seconds) << "week " << c.week << " with the count of a 1013";
    }
}

// station278.rtcm3 (2020) sends 1004 and 1012 for each epoch: they make one epoch together.
TEST(GlonassTime, GpsAndGlonassOfOneEpochAfter2017FallIntoOneEpoch)
{
    const Bytes capture = restamped(readFile(captureFile("station278.rtcm3")), 0);
    auto decoder = newDecoder(2089);
    int released = 0;
    for (unsigned char byte : capture)
    {
        Rtcm3::feedByte(*decoder, byte,
                        [&](const Rtcm3::DecodeResult& result)
                        {
                            if (result.status != Rtcm3::DecodeStatus::EpochReleased &&
                                result.status != Rtcm3::DecodeStatus::EpochReleasedModulo)
                                return;
                            ++released;
                            const Rtcm3::ObservationEpoch& epoch = decoder->completed;
                            const int* end = epoch.satellites + epoch.satelliteCount;
                            EXPECT_TRUE(std::any_of(epoch.satellites, end, [](int n) { return n <= 32; }) &&
                                        std::any_of(epoch.satellites, end, [](int n) { return n >= 38; }))
                                << "epoch at " << epoch.timeOfWeek << " ms holds one system only";
                        });
    }
    EXPECT_GE(released, 30);
}

TEST(GlonassTime, MidnightAndWeekCrossings)
{
    struct CrossCase
    {
        int week;
        int seconds;
        int glonassMs;
        int expectedWeek;
        int expectedSeconds;
    };
    // Week 2089 (GPS-UTC 18 s), Monday: 23:58 UTC(SU)+3 is 161898 s GPS, 00:02 the next day 162138 s.
    const CrossCase cases[] = {
        {2089, 161896, 120000, 2089, 162138},   // epoch just after midnight, reference before
        {2089, 162136, 86280000, 2089, 161898}, // epoch just before midnight, reference after
        {2089, 604740, 10830000, 2090, 48},     // into the next GPS week
        {2090, 46, 10724000, 2089, 604742},     // back into the previous one
    };
    for (const CrossCase& c : cases)
    {
        int week = c.week;
        int seconds = c.seconds;
        Rtcm3::glonassToGpsTime(week, seconds, c.glonassMs);
        EXPECT_EQ(week, c.expectedWeek) << c.seconds << " + " << c.glonassMs;
        EXPECT_EQ(seconds, c.expectedSeconds) << c.seconds << " + " << c.glonassMs;
    }
}

} // namespace
