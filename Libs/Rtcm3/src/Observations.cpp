// GPS/SBAS (1001-1004) and GLONASS (1009-1012) observation messages, assembled into epochs.
#include "Messages.h"
#include "TimeUnits.h"

#include <cstring>

namespace Rtcm3
{

namespace
{

constexpr double kLightMs = 299792.458;          // metres in one light-millisecond
constexpr double kGlonassAmbiguity = 599584.916; // two light-milliseconds
constexpr double kGpsL1Wavelength = 0.19029367279836487;
constexpr double kGpsL2Wavelength = 0.24421021342456825;
constexpr double kSpeedOfLight = 299792458.0;
constexpr std::int64_t kInvalidPhase = -524288;
constexpr std::int64_t kInvalidRangeDiff = -8192;

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

int strengthDigit(int cnr)
{
    if (cnr < 16)
        return 1;
    if (cnr < 160)
        return cnr / 16;
    return 9;
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

int finishEpoch(Rtcm3Decoder& decoder, bool released, int sync, int message, int resolved)
{
    const int epochResult = resolved != 0 ? kEpochReleased : kEpochReleasedModulo;
    if (released)
        return epochResult;
    if (sync == 1)
        return message;
    releaseEpoch(decoder);
    return epochResult;
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

constexpr FieldLayout kGpsLayout{1001, 24, 8, kLightMs, true};
constexpr FieldLayout kGlonassLayout{1009, 25, 7, kGlonassAmbiguity, false};

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
    const double pr1 = static_cast<double>(reader.readUnsigned(pass.layout.rangeBits)) * 0.02;
    const std::int64_t phase1 = reader.readSigned(20);
    const bool l1Set = phase1 != kInvalidPhase;
    if (l1Set)
    {
        setSlot(obs, codeSlot, pr1);
        setSlot(obs, phaseSlot, static_cast<double>(phase1) * 0.0005 + pr1);
    }
    const int lock1 = reader.readInt(7);
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
        const int cnr = reader.readInt(8);
        if (cnr != 0)
        {
            setSlot(obs, code1 ? kS1P : kS1CA, cnr * 0.25);
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
    const int code2 = reader.readInt(2);
    const int rangeSlot = code2 == 0 ? kC2 : kP2;
    const int phase2Slot = code2 == 0 ? kL2CA : kL2P;
    const int cnrSlot = code2 == 0 ? kS2CA : kS2P;
    if (pass.layout.flagsCrossCorrelation && code2 >= 2)
        obs.mask |= kFlagL2CrossCorrelated;
    const std::int64_t rangeDiff = reader.readSigned(14);
    if (rangeDiff != kInvalidRangeDiff)
        setSlot(obs, rangeSlot, static_cast<double>(rangeDiff) * 0.02 + offset);
    const std::int64_t phase2 = reader.readSigned(20);
    const bool l2Set = phase2 != kInvalidPhase;
    if (l2Set)
        setSlot(obs, phase2Slot, static_cast<double>(phase2) * 0.0005 + offset);
    const int lock2 = reader.readInt(7);
    pass.lockL2[id] = lock2;
    if (lostLock(lock2, pass.savedLockL2[id]))
        obs.mask |= kFlagL2LossOfLock;
    if (pass.withL2Cnr)
    {
        const int cnr = reader.readInt(8);
        if (cnr != 0)
        {
            setSlot(obs, cnrSlot, cnr * 0.25);
            obs.l2Strength = strengthDigit(cnr);
        }
    }
    if (l2Set)
        obs.values[phase2Slot] /= wavelength;
}

// Satellites missing from this message count as lock time 0 next time.
int finishPass(Rtcm3Decoder& decoder, const ObservationPass& pass, bool released, int sync, int message)
{
    std::memcpy(pass.savedLockL1, pass.lockL1, sizeof pass.lockL1);
    std::memcpy(pass.savedLockL2, pass.lockL2, sizeof pass.lockL2);
    return finishEpoch(decoder, released, sync, message, pass.resolved);
}

} // namespace

int decodeGpsObservations(Rtcm3Decoder& decoder, int message, BitReader& reader)
{
    if (decoder.gpsWeek == 0)
        return 0;
    const int towMs = reader.readInt(30);
    const int sync = reader.readInt(1);
    const int count = reader.readInt(5);
    reader.skip(4);

    const int seconds = towMs / 1000;
    if (seconds < decoder.lastSecondsOfWeek - kSecondsPerDay)
        ++decoder.gpsWeek;
    decoder.lastSecondsOfWeek = seconds;
    const bool released = beginEpoch(decoder, towMs);

    ObservationPass pass(kGpsLayout, message, count, decoder.prevLockGpsL1, decoder.prevLockGpsL2);
    for (int i = 0; i < count; ++i)
    {
        SatelliteObservation obs{};
        const int id = reader.readInt(6);
        const int number = id < 40 ? id : id + 80;
        const int code1 = reader.readInt(1);
        const double offset = readL1(pass, reader, id, code1, kGpsL1Wavelength, obs);
        if (pass.withL2)
            readL2(pass, reader, id, offset, kGpsL2Wavelength, obs);
        mergeSatellite(decoder.collecting, number, obs);
    }
    return finishPass(decoder, pass, released, sync, message);
}

int decodeGlonassObservations(Rtcm3Decoder& decoder, int message, BitReader& reader)
{
    const int epochMs = reader.readInt(27);
    const int sync = reader.readInt(1);
    const int count = reader.readInt(5);
    reader.skip(4);

    decoder.lastGlonassEpochMs = epochMs;
    // A 1013's count is the station's own; before one has come (or when it sends none), the table.
    glonassToGpsTime(decoder.gpsWeek, decoder.lastSecondsOfWeek, epochMs, decoder.leapSeconds);
    const bool released = beginEpoch(decoder, decoder.lastSecondsOfWeek * 1000.0);

    ObservationPass pass(kGlonassLayout, message, count, decoder.prevLockGloL1, decoder.prevLockGloL2);
    for (int i = 0; i < count; ++i)
    {
        SatelliteObservation obs{};
        const int id = reader.readInt(6);
        const int code1 = reader.readInt(1);
        const int channel = reader.readInt(5) - 7;
        // Each GLONASS satellite sends on its own channel's frequencies.
        const double l1Wavelength = kSpeedOfLight / (1602000000.0 + channel * 562500.0);
        const double l2Wavelength = kSpeedOfLight / (1246000000.0 + channel * 437500.0);
        const double offset = readL1(pass, reader, id, code1, l1Wavelength, obs);
        if (pass.withL2)
            readL2(pass, reader, id, offset, l2Wavelength, obs);
        if (id >= 1 && id <= 24)
            mergeSatellite(decoder.collecting, id + 37, obs);
    }
    return finishPass(decoder, pass, released, sync, message);
}

} // namespace Rtcm3
