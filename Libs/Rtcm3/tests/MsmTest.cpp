// MSM4 to MSM7 messages on frames built here: epoch times of each system, masks, cells and their values.
#include "TestSupport.h"

#include "Rtcm3/Msm.h"

#include <gtest/gtest.h>

using namespace Rtcm3Test;

namespace
{

constexpr double kLightMs = 299792.458;
constexpr int kWeek = 1800;              // from Sunday 2014-07-06, GPS-UTC 16 s
constexpr int kThursdayMs = 345600000;   // Thursday 00:00:00 GPS time
constexpr std::uint32_t kDay = 1u << 27; // GLONASS day of week, above the time of day

// One GPS-like satellite with one signal of the given message.
Bytes singleCell(int message, std::uint32_t epoch, int multiple = 0, MsmSatellite satellite = {},
                 MsmSignal signal = {}, int signalId = 2)
{
    return msmMessage(message, epoch, multiple, {satellite}, {signalId}, {true}, {signal});
}

TEST(MsmHeader, EpochTimeOfEachSystemBecomesGpsTime)
{
    struct Case
    {
        int message;
        std::uint32_t epoch;
        int referenceSeconds;
        int week;
        double timeOfWeekMs;
    };
    const Case cases[] = {
        {1077, kThursdayMs, 345000, kWeek, kThursdayMs},
        {1074, kThursdayMs + 500, 345000, kWeek, kThursdayMs + 500},
        {1097, kThursdayMs, 345000, kWeek, kThursdayMs},         // Galileo keeps GPS time of week
        {1117, kThursdayMs, 345000, kWeek, kThursdayMs},         // QZSS
        {1107, kThursdayMs, 345000, kWeek, kThursdayMs},         // SBAS
        {1127, kThursdayMs - 14000, 345000, kWeek, kThursdayMs}, // BeiDou runs 14 s behind
        {1124, 604795000, 604700, kWeek + 1, 9000},              // ... also across the end of the week
        {1077, 1000, 604700, kWeek + 1, 1000},                   // a new week begins
        {1077, 604790000, 100, kWeek - 1, 604790000},            // the end of the previous week
        // GLONASS: day of week and UTC(SU) + 3 h. Thursday 02:59:44 Moscow is Thursday 00:00:00 GPS.
        {1087, 4 * kDay + 10784000, 345000, kWeek, kThursdayMs},
        {1084, 4 * kDay + 10784250, 100000, kWeek, kThursdayMs + 250}, // the day is sent, not just the time
        {1087, 0 * kDay + 10794000, 1000, kWeek, 10000},               // Sunday 00:00:10 GPS
        {1087, 0 * kDay + 3600000, 1000, kWeek - 1, 597616000},  // Saturday 22:00:16 GPS, the week before
        {1087, 7 * kDay + 10784000, 345000, kWeek, kThursdayMs}, // day unknown: the reference's day
    };
    for (const Case& c : cases)
    {
        auto decoder = newDecoder(kWeek);
        decoder->lastSecondsOfWeek = c.referenceSeconds;
        EXPECT_EQ(feedFrame(*decoder, singleCell(c.message, c.epoch)).message, c.message);
        const Rtcm3::MsmObservations& msm = decoder->msm;
        EXPECT_EQ(msm.message, c.message);
        EXPECT_EQ(msm.week, c.week) << c.message << " " << c.epoch;
        EXPECT_DOUBLE_EQ(msm.timeOfWeek, c.timeOfWeekMs) << c.message << " " << c.epoch;
        EXPECT_EQ(decoder->lastSecondsOfWeek, static_cast<int>(c.timeOfWeekMs / 1000));
        EXPECT_EQ(msm.epochField, c.epoch);
    }
}

TEST(MsmHeader, SystemsMultipleMessageBitAndStationFilter)
{
    const std::pair<int, Rtcm3::MsmSystem> systems[] = {
        {1074, Rtcm3::MsmSystem::Gps},  {1085, Rtcm3::MsmSystem::Glonass}, {1096, Rtcm3::MsmSystem::Galileo},
        {1107, Rtcm3::MsmSystem::Sbas}, {1114, Rtcm3::MsmSystem::Qzss},    {1127, Rtcm3::MsmSystem::Beidou}};
    for (const auto& [message, system] : systems)
    {
        auto decoder = newDecoder(kWeek);
        feedFrame(*decoder, singleCell(message, kThursdayMs, 1));
        EXPECT_EQ(decoder->msm.system, system) << message;
        EXPECT_EQ(decoder->msm.multipleMessage, 1);
        feedFrame(*decoder, singleCell(message, kThursdayMs, 0));
        EXPECT_EQ(decoder->msm.multipleMessage, 0);
    }
    // MSM1 to MSM3 are not read, nor an epoch past its week or GLONASS day; another station's MSM is
    // dropped as any of its messages.
    auto decoder = newDecoder(kWeek);
    EXPECT_EQ(feedFrame(*decoder, singleCell(1073, kThursdayMs)).message, 1073);
    EXPECT_EQ(decoder->msm.message, 0);
    for (const auto& [message, epoch] : {std::pair{1077, 604800000u}, std::pair{1087, 2 * kDay + 86400000u}})
    {
        EXPECT_EQ(feedFrame(*decoder, singleCell(message, epoch)).message, message);
        EXPECT_EQ(decoder->msm.message, 0) << message;
    }
    EXPECT_EQ(feedFrame(*decoder, msmMessage(1077, kThursdayMs, 0, {{}}, {2}, {true}, {{}}, 278)).message, 0);
    EXPECT_EQ(decoder->msm.message, 0);
    decoder->stationFilter = 278;
    EXPECT_EQ(feedFrame(*decoder, msmMessage(1077, kThursdayMs, 0, {{}}, {2}, {true}, {{}}, 278)).message,
              1077);
    EXPECT_EQ(decoder->msm.message, 1077);
}

TEST(MsmCells, SixtyFourCellsAreReadInMaskOrderAndMoreAreRefused)
{
    // 16 satellites of 4 signals each: the whole 64-bit cell mask, one cell left out.
    std::vector<MsmSatellite> satellites;
    for (int i = 0; i < 16; ++i)
        satellites.push_back(MsmSatellite{i * 4 + 1, 60 + i, 0, 0, 0});
    const std::vector<int> signalIds{2, 9, 16, 23};
    std::vector<bool> mask(64, true);
    mask[5] = false; // satellite 5, its signal 9
    std::vector<MsmSignal> signals;
    for (int c = 0; c < 63; ++c)
        signals.push_back(MsmSignal{c * 1000, 0, 0, 0, 40, 0});
    auto decoder = newDecoder(kWeek);
    EXPECT_EQ(
        feedFrame(*decoder, msmMessage(1077, kThursdayMs, 0, satellites, signalIds, mask, signals)).message,
        1077);
    const Rtcm3::MsmObservations& msm = decoder->msm;
    ASSERT_EQ(msm.message, 1077);
    EXPECT_EQ(msm.satelliteCount, 16);
    EXPECT_EQ(msm.signalCount, 4);
    ASSERT_EQ(msm.cellCount, 63);
    EXPECT_EQ(msm.cells[4].satellite, 5);
    EXPECT_EQ(msm.cells[4].signal, 2);
    EXPECT_EQ(msm.cells[5].satellite, 5);
    EXPECT_EQ(msm.cells[5].signal, 16);
    EXPECT_EQ(msm.cells[62].satellite, 61);
    EXPECT_EQ(msm.cells[62].signal, 23);
    EXPECT_DOUBLE_EQ(msm.cells[62].pseudorange, (75 + 62 * 1000 * 0x1p-29) * kLightMs);

    // 13 satellites of 5 signals need a 65-bit mask: the message is seen but not read.
    satellites.resize(13);
    const std::vector<int> fiveSignals{2, 3, 4, 8, 9};
    signals.resize(1);
    mask.assign(65, false);
    mask[0] = true;
    EXPECT_EQ(
        feedFrame(*decoder, msmMessage(1077, kThursdayMs, 0, satellites, fiveSignals, mask, signals)).message,
        1077);
    EXPECT_EQ(decoder->msm.message, 0);
    EXPECT_EQ(decoder->msm.cellCount, 0);

    // A payload that ends before its last cell is not read either, rather than read as zeros.
    Bytes shortFrame = msmMessage(1077, kThursdayMs, 0, {{}, {3}}, {2}, {true, true}, {{}});
    EXPECT_EQ(feedFrame(*decoder, shortFrame).message, 1077);
    EXPECT_EQ(decoder->msm.message, 0);
}

TEST(MsmCells, ValuesAndInvalidMarkersOfEachResolution)
{
    const double l1 = 299792458.0 / 1575.42e6;
    // MSM4: fine ranges in 2^-24 and 2^-29 ms, CNR in whole dB-Hz, lock 2^(i+4) ms.
    auto decoder = newDecoder(kWeek);
    feedFrame(*decoder, singleCell(1074, kThursdayMs, 0, {5, 70, 0, 512, 0}, {-3000, 100000, 3, 1, 41, 0}));
    const Rtcm3::MsmCell& m4 = decoder->msm.cells[0];
    EXPECT_EQ(m4.satellite, 5);
    EXPECT_EQ(m4.valid, Rtcm3::kMsmPseudorange | Rtcm3::kMsmPhase | Rtcm3::kMsmCnr);
    EXPECT_DOUBLE_EQ(m4.pseudorange, (70.5 - 3000 * 0x1p-24) * kLightMs);
    EXPECT_DOUBLE_EQ(m4.phase, (70.5 + 100000 * 0x1p-29) * kLightMs / l1);
    EXPECT_DOUBLE_EQ(m4.cnr, 41.0);
    EXPECT_EQ(m4.lockTimeMs, 128);
    EXPECT_EQ(m4.halfCycle, 1);

    // MSM7: fine ranges in 2^-29 and 2^-31 ms, CNR in 1/16 dB-Hz, rates, extended lock times.
    feedFrame(*decoder,
              singleCell(1077, kThursdayMs, 0, {5, 70, 0, 256, -1200}, {-3000, 100000, 96, 0, 641, -2500}));
    const Rtcm3::MsmCell& m7 = decoder->msm.cells[0];
    EXPECT_EQ(m7.valid, Rtcm3::kMsmPseudorange | Rtcm3::kMsmPhase | Rtcm3::kMsmPhaseRate | Rtcm3::kMsmCnr);
    EXPECT_DOUBLE_EQ(m7.pseudorange, (70.25 - 3000 * 0x1p-29) * kLightMs);
    EXPECT_DOUBLE_EQ(m7.phase, (70.25 + 100000 * 0x1p-31) * kLightMs / l1);
    EXPECT_DOUBLE_EQ(m7.phaseRangeRate, -1200.25);
    EXPECT_DOUBLE_EQ(m7.cnr, 40.0625);
    EXPECT_EQ(m7.lockTimeMs, 128);

    // Each marker leaves its value unset; an invalid rough range takes range and phase with it.
    struct Marker
    {
        int message;
        MsmSatellite satellite;
        MsmSignal signal;
        int valid;
    };
    const Marker markers[] = {
        {1077, {5, 255}, {}, Rtcm3::kMsmPhaseRate | Rtcm3::kMsmCnr},
        {1077, {}, {-524288}, Rtcm3::kMsmPhase | Rtcm3::kMsmPhaseRate | Rtcm3::kMsmCnr},
        {1077, {}, {0, -8388608}, Rtcm3::kMsmPseudorange | Rtcm3::kMsmPhaseRate | Rtcm3::kMsmCnr},
        {1077, {1, 70, 0, 0, -8192}, {}, Rtcm3::kMsmPseudorange | Rtcm3::kMsmPhase | Rtcm3::kMsmCnr},
        {1075, {}, {0, 0, 0, 0, 40, -16384}, Rtcm3::kMsmPseudorange | Rtcm3::kMsmPhase | Rtcm3::kMsmCnr},
        {1074, {}, {-16384, -2097152, 0, 0, 0}, 0},
    };
    for (const Marker& m : markers)
    {
        feedFrame(*decoder, singleCell(m.message, kThursdayMs, 0, m.satellite, m.signal));
        EXPECT_EQ(decoder->msm.cells[0].valid, m.valid) << m.message;
    }
}

TEST(MsmCells, LockTimeIndicators)
{
    const std::pair<int, int> standard[] = {{0, 0}, {1, 32}, {15, 524288}};
    const std::pair<int, int> extended[] = {{0, 0},    {63, 63},        {64, 64},        {65, 66},
                                            {96, 128}, {703, 66060288}, {704, 67108864}, {1023, 67108864}};
    auto decoder = newDecoder(kWeek);
    for (const auto& [indicator, ms] : standard)
    {
        feedFrame(*decoder, singleCell(1074, kThursdayMs, 0, {}, MsmSignal{0, 0, indicator}));
        EXPECT_EQ(decoder->msm.cells[0].lockTimeMs, ms) << indicator;
    }
    for (const auto& [indicator, ms] : extended)
    {
        feedFrame(*decoder, singleCell(1076, kThursdayMs, 0, {}, MsmSignal{0, 0, indicator}));
        EXPECT_EQ(decoder->msm.cells[0].lockTimeMs, ms) << indicator;
    }
}

TEST(MsmCells, GlonassPhaseNeedsTheChannelThatMsm5And7Send)
{
    auto decoder = newDecoder(kWeek);
    // Channel code 8 is k = 1: G1 at 1602.5625 MHz, G2 at 1246.4375 MHz.
    feedFrame(*decoder, msmMessage(1087, 4 * kDay + 10784000, 0, {{12, 70, 8, 0, 0}}, {2, 8}, {true, true},
                                   {{0, 0}, {0, 0}}));
    EXPECT_DOUBLE_EQ(decoder->msm.cells[0].phase, 70 * kLightMs / (299792458.0 / 1602.5625e6));
    EXPECT_DOUBLE_EQ(decoder->msm.cells[1].phase, 70 * kLightMs / (299792458.0 / 1246.4375e6));

    // MSM4 carries no channel: slot 12's is remembered, slot 13's was never sent.
    feedFrame(*decoder, msmMessage(1084, 4 * kDay + 10784000, 0, {{12, 70}, {13, 70}}, {2}, {true, true},
                                   {{0, 0}, {0, 0}}));
    EXPECT_EQ(decoder->msm.cells[0].valid & Rtcm3::kMsmPhase, Rtcm3::kMsmPhase);
    EXPECT_EQ(decoder->msm.cells[1].valid & Rtcm3::kMsmPhase, 0);
    EXPECT_EQ(decoder->msm.cells[1].valid & Rtcm3::kMsmPseudorange, Rtcm3::kMsmPseudorange);
}

TEST(MsmSignals, WavelengthsAndSatelliteNumbers)
{
    EXPECT_EQ(Rtcm3::msmSignalCode(Rtcm3::MsmSystem::Glonass, 16), nullptr);
    EXPECT_EQ(Rtcm3::msmSignalCode(Rtcm3::MsmSystem::Gps, 33), nullptr);
    EXPECT_DOUBLE_EQ(Rtcm3::msmWavelength(Rtcm3::MsmSystem::Beidou, 14, 0), 299792458.0 / 1207.14e6);
    EXPECT_DOUBLE_EQ(Rtcm3::msmWavelength(Rtcm3::MsmSystem::Glonass, 2, -7), 299792458.0 / 1598.0625e6);
    EXPECT_EQ(Rtcm3::msmWavelength(Rtcm3::MsmSystem::Glonass, 2, 7), 0.0);

    // SBAS satellite ID 1 is PRN 120, RINEX S20.
    auto decoder = newDecoder(kWeek);
    feedFrame(*decoder, singleCell(1107, kThursdayMs, 0, {3}));
    EXPECT_EQ(decoder->msm.cells[0].satellite, 22);
}

} // namespace
