// GPS/SBAS (1001-1004) and GLONASS (1009-1012) observation messages, assembled into epochs.
#include "Carriers.h"
#include "Messages.h"
#include "TimeUnits.h"

#include <algorithm>
#include <cstring>

namespace Rtcm3
{

namespace
{

// Header after the station ID.
constexpr int kGpsEpochTimeBits = 30;     // DF004, ms of the GPS week
constexpr int kGlonassEpochTimeBits = 27; // DF034, ms of the GLONASS day
constexpr int kSyncFlagBits = 1;          // DF005: 1 when more messages of this epoch follow
constexpr int kSatelliteCountBits = 5;    // DF006, DF035
constexpr int kSmoothingBits = 4;         // DF007 + DF008, DF036 + DF037: smoothing flag and interval

// Satellite fields; the range widths differ by system (FieldLayout).
constexpr int kSatelliteIdBits = 6;               // DF009, DF038
constexpr int kCodeIndicatorBits = 1;             // DF010, DF039: 1 P code
constexpr int kChannelBits = 5;                   // DF040, frequency channel + 7
constexpr int kChannelOffset = 7;                 // DF040
constexpr double kRangeUnit = 0.02;               // DF011, DF041, DF017, DF047: m
constexpr int kPhaseBits = 20;                    // DF012, DF018, DF042, DF048: phase range minus L1 range
constexpr double kPhaseUnit = 0.0005;             // m
constexpr int kLockTimeBits = 7;                  // DF013, DF019, DF043, DF049
constexpr int kCnrBits = 8;                       // DF015, DF020, DF045, DF050
constexpr double kCnrUnit = 0.25;                 // dB-Hz
constexpr int kL2CodeBits = 2;                    // DF016, DF046: 0 C/A code, 2 and 3 (GPS) cross-correlated
constexpr int kRangeDiffBits = 14;                // DF017, DF047: L2 range minus L1 range
constexpr std::int64_t kInvalidPhase = -524288;   // 0x80000 in DF012, DF018, DF042, DF048
constexpr std::int64_t kInvalidRangeDiff = -8192; // 0x2000 in DF017, DF047

// DF009 40 to 58 are the SBAS satellites, PRN 120 to 138.
constexpr int kFirstSbasId = 40;
constexpr int kSbasPrnOffset = 80;
constexpr int kGlonassSlots = 24; // DF038 1 to 24

constexpr double kGpsL1Wavelength = kSpeedOfLight / kL1;
constexpr double kGpsL2Wavelength = kSpeedOfLight / kL2;

// One satellite of one message, merged into its epoch row afterwards so that a satellite
// without a row (dropped or over the cap) is still read through.
struct SatelliteObservation
{
    double values[kObservationSlots];
    int mask;
    int l1Strength;
    int l2Strength;
};

void setSlot(SatelliteObservation& obs, int slot, double value)
{
    obs.values[slot] = value;
    obs.mask |= 1 << slot;
}

// The RINEX signal strength 1 to 9: one step for every 4 dB-Hz.
int strengthDigit(int cnr)
{
    constexpr int kCnrPerStep = 16;
    constexpr int kStrongest = 9;
    return std::clamp(cnr / kCnrPerStep, 1, kStrongest);
}

void releaseEpoch(Rtcm3Decoder& decoder)
{
    decoder.completed = decoder.collecting;
    std::memset(&decoder.collecting, 0, sizeof decoder.collecting);
}

// Releases the collecting epoch when this message belongs to another one; true when it did.
bool beginEpoch(Rtcm3Decoder& decoder, double timeOfWeekMs)
{
    ObservationEpoch& epoch = decoder.collecting;
    bool released = false;
    if (epoch.week != 0 && (epoch.timeOfWeek != timeOfWeekMs || epoch.week != decoder.gpsWeek))
    {
        releaseEpoch(decoder);
        released = true;
    }
    epoch.timeOfWeek = timeOfWeekMs;
    epoch.week = decoder.gpsWeek;
    return released;
}

DecodeStatus finishEpoch(Rtcm3Decoder& decoder, bool released, int sync, int resolved)
{
    const DecodeStatus epochStatus =
        resolved != 0 ? DecodeStatus::EpochReleased : DecodeStatus::EpochReleasedModulo;
    if (released)
        return epochStatus;
    if (sync == 1)
        return DecodeStatus::Message;
    releaseEpoch(decoder);
    return epochStatus;
}

// Satellites beyond the record's room are read and ignored.
void mergeSatellite(ObservationEpoch& epoch, int number, const SatelliteObservation& obs)
{
    int row = 0;
    while (row < epoch.satelliteCount && epoch.satellites[row] != number)
        ++row;
    if (row == epoch.satelliteCount)
    {
        if (epoch.satelliteCount >= kMaxSatellites)
            return;
        epoch.satellites[row] = number;
        ++epoch.satelliteCount;
    }
    for (int slot = 0; slot < kObservationSlots; ++slot)
    {
        if (obs.mask & (1 << slot))
            epoch.values[row][slot] = obs.values[slot];
    }
    epoch.masks[row] |= obs.mask;
    if (obs.l1Strength != 0)
        epoch.l1Strength[row] = obs.l1Strength;
    if (obs.l2Strength != 0)
        epoch.l2Strength[row] = obs.l2Strength;
}

bool lostLock(int lock, int previous)
{
    return lock == 0 || lock < previous;
}

// Where the GPS and GLONASS messages differ in field widths and meaning.
struct FieldLayout
{
    int firstMessage; // then: with ambiguity and CNR, with L2, with both
    int rangeBits;
    int ambiguityBits;
    double ambiguityUnit; // metres of one step of the L1 range ambiguity
    bool flagsCrossCorrelation;
};

// DF011 L1 range, DF014 ambiguity in light-milliseconds.
constexpr FieldLayout kGpsLayout{1001, 24, 8, kLightMs, true};
// DF041 L1 range, DF044 ambiguity in two light-milliseconds.
constexpr FieldLayout kGlonassLayout{1009, 25, 7, 2 * kLightMs, false};

// One observation message being read: what it carries and the lock times of its satellites.
struct ObservationPass
{
    ObservationPass(const FieldLayout& fields, int message, int count, int* lockL1, int* lockL2)
        : layout(fields), withCnr((message - fields.firstMessage) % 2 == 1),
          withL2(message - fields.firstMessage >= 2), withL2Cnr(message - fields.firstMessage == 3),
          savedLockL1(lockL1), savedLockL2(lockL2), resolved(count == 0 ? 1 : 0)
    {
    }

    const FieldLayout& layout;
    const bool withCnr;
    const bool withL2;
    const bool withL2Cnr;
    // The decoder's lock times of the previous message, replaced when this one is done.
    int* savedLockL1;
    int* savedLockL2;
    int lockL1[64] = {};
    int lockL2[64] = {};
    int resolved;
};

// The L1 fields after the code indicator (and GLONASS channel); returns the L2 reference: the L1
// range with its ambiguity.
double readL1(ObservationPass& pass, BitReader& reader, int id, int code1, double wavelength,
              SatelliteObservation& obs)
{
    const int codeSlot = code1 ? kP1 : kC1;
    const int phaseSlot = code1 ? kL1P : kL1CA;
    const double pr1 = static_cast<double>(reader.readUnsigned(pass.layout.rangeBits)) * kRangeUnit;
    const std::int64_t phase1 = reader.readSigned(kPhaseBits);
    const bool l1Set = phase1 != kInvalidPhase;
    if (l1Set)
    {
        setSlot(obs, codeSlot, pr1);
        setSlot(obs, phaseSlot, static_cast<double>(phase1) * kPhaseUnit + pr1);
    }
    const int lock1 = reader.readInt(kLockTimeBits);
    pass.lockL1[id] = lock1;
    if (lostLock(lock1, pass.savedLockL1[id]))
        obs.mask |= kFlagL1LossOfLock;

    int ambiguity = 0;
    if (pass.withCnr)
    {
        ambiguity = reader.readInt(pass.layout.ambiguityBits);
        if (ambiguity != 0 && l1Set)
        {
            obs.values[codeSlot] += ambiguity * pass.layout.ambiguityUnit;
            obs.values[phaseSlot] += ambiguity * pass.layout.ambiguityUnit;
            ++pass.resolved;
        }
        const int cnr = reader.readInt(kCnrBits);
        if (cnr != 0)
        {
            setSlot(obs, code1 ? kS1P : kS1CA, cnr * kCnrUnit);
            obs.l1Strength = strengthDigit(cnr);
        }
    }
    if (l1Set)
        obs.values[phaseSlot] /= wavelength;
    return pr1 + ambiguity * pass.layout.ambiguityUnit;
}

void readL2(ObservationPass& pass, BitReader& reader, int id, double offset, double wavelength,
            SatelliteObservation& obs)
{
    const int code2 = reader.readInt(kL2CodeBits);
    const int rangeSlot = code2 == 0 ? kC2 : kP2;
    const int phase2Slot = code2 == 0 ? kL2CA : kL2P;
    const int cnrSlot = code2 == 0 ? kS2CA : kS2P;
    if (pass.layout.flagsCrossCorrelation && code2 >= 2)
        obs.mask |= kFlagL2CrossCorrelated;
    const std::int64_t rangeDiff = reader.readSigned(kRangeDiffBits);
    if (rangeDiff != kInvalidRangeDiff)
        setSlot(obs, rangeSlot, static_cast<double>(rangeDiff) * kRangeUnit + offset);
    const std::int64_t phase2 = reader.readSigned(kPhaseBits);
    const bool l2Set = phase2 != kInvalidPhase;
    if (l2Set)
        setSlot(obs, phase2Slot, static_cast<double>(phase2) * kPhaseUnit + offset);
    const int lock2 = reader.readInt(kLockTimeBits);
    pass.lockL2[id] = lock2;
    if (lostLock(lock2, pass.savedLockL2[id]))
        obs.mask |= kFlagL2LossOfLock;
    if (pass.withL2Cnr)
    {
        const int cnr = reader.readInt(kCnrBits);
        if (cnr != 0)
        {
            setSlot(obs, cnrSlot, cnr * kCnrUnit);
            obs.l2Strength = strengthDigit(cnr);
        }
    }
    if (l2Set)
        obs.values[phase2Slot] /= wavelength;
}

// Satellites missing from this message count as lock time 0 next time.
DecodeStatus finishPass(Rtcm3Decoder& decoder, const ObservationPass& pass, bool released, int sync)
{
    std::memcpy(pass.savedLockL1, pass.lockL1, sizeof pass.lockL1);
    std::memcpy(pass.savedLockL2, pass.lockL2, sizeof pass.lockL2);
    decoder.lastSyncFlag = sync;
    return finishEpoch(decoder, released, sync, pass.resolved);
}

} // namespace

DecodeStatus decodeGpsObservations(Rtcm3Decoder& decoder, int message, BitReader& reader)
{
    if (decoder.gpsWeek == 0)
        return DecodeStatus::Nothing;
    const int towMs = reader.readInt(kGpsEpochTimeBits);
    const int sync = reader.readInt(kSyncFlagBits);
    const int count = reader.readInt(kSatelliteCountBits);
    reader.skip(kSmoothingBits);

    decoder.lastGpsEpochMs = towMs;
    const int seconds = towMs / 1000;
    if (seconds < decoder.lastSecondsOfWeek - kSecondsPerDay)
        ++decoder.gpsWeek;
    decoder.lastSecondsOfWeek = seconds;
    const bool released = beginEpoch(decoder, towMs);

    ObservationPass pass(kGpsLayout, message, count, decoder.prevLockGpsL1, decoder.prevLockGpsL2);
    for (int i = 0; i < count; ++i)
    {
        SatelliteObservation obs{};
        const int id = reader.readInt(kSatelliteIdBits);
        const int number = id < kFirstSbasId ? id : id + kSbasPrnOffset;
        const int code1 = reader.readInt(kCodeIndicatorBits);
        const double offset = readL1(pass, reader, id, code1, kGpsL1Wavelength, obs);
        if (pass.withL2)
            readL2(pass, reader, id, offset, kGpsL2Wavelength, obs);
        mergeSatellite(decoder.collecting, number, obs);
    }
    return finishPass(decoder, pass, released, sync);
}

DecodeStatus decodeGlonassObservations(Rtcm3Decoder& decoder, int message, BitReader& reader)
{
    const int epochMs = reader.readInt(kGlonassEpochTimeBits);
    const int sync = reader.readInt(kSyncFlagBits);
    const int count = reader.readInt(kSatelliteCountBits);
    reader.skip(kSmoothingBits);

    decoder.lastGlonassEpochMs = epochMs;
    // A 1013's count is the station's own; before one has come (or when it sends none), the table.
    glonassToGpsTime(decoder.gpsWeek, decoder.lastSecondsOfWeek, epochMs, decoder.leapSeconds);
    const bool released = beginEpoch(decoder, decoder.lastSecondsOfWeek * 1000.0);

    ObservationPass pass(kGlonassLayout, message, count, decoder.prevLockGloL1, decoder.prevLockGloL2);
    for (int i = 0; i < count; ++i)
    {
        SatelliteObservation obs{};
        const int id = reader.readInt(kSatelliteIdBits);
        const int code1 = reader.readInt(kCodeIndicatorBits);
        const int channel = reader.readInt(kChannelBits) - kChannelOffset;
        // Each GLONASS satellite sends on its own channel's frequencies.
        const double l1Wavelength = kSpeedOfLight / glonassFrequency('1', channel);
        const double l2Wavelength = kSpeedOfLight / glonassFrequency('2', channel);
        const double offset = readL1(pass, reader, id, code1, l1Wavelength, obs);
        if (pass.withL2)
            readL2(pass, reader, id, offset, l2Wavelength, obs);
        if (id >= 1 && id <= kGlonassSlots)
            mergeSatellite(decoder.collecting, id + kGlonassNumberOffset, obs);
    }
    return finishPass(decoder, pass, released, sync);
}

} // namespace Rtcm3
