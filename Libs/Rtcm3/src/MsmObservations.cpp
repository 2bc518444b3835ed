// MSM4 to MSM7 observation messages of GPS, GLONASS, Galileo, SBAS, QZSS and BeiDou.
#include "Carriers.h"
#include "Messages.h"

#include <bit>

namespace Rtcm3
{

namespace
{

// Header after the station ID.
constexpr int kEpochBits = 30;      // DF004, DF416 + DF034, DF248, DF427, DF428
constexpr int kHeaderFlagBits = 18; // DF409 IODS 3, DF001 reserved 7, DF411 2, DF412 2, DF417 1, DF418 3
constexpr int kHeaderBits = 169;    // message number through the signal mask (DF394 64, DF395 32)

// Satellite data, one field for all satellites before the next field.
constexpr int kRoughRangeBits = 8; // DF397, whole ms
constexpr std::uint64_t kRoughRangeInvalid = 255;
constexpr int kExtendedInfoBits = 4;     // satellite info; GLONASS: frequency channel + 7
constexpr int kGlonassChannelCodes = 14; // codes 0 to 13 are channels -7 to 6
constexpr int kRoughRangeModBits = 10;   // DF398, 2^-10 ms
constexpr double kRoughRangeModUnit = 1.0 / 1024.0;
constexpr int kRoughRateBits = 14; // DF399, 1 m/s
constexpr int kSatelliteBits = kRoughRangeBits + kRoughRangeModBits;
constexpr int kSatelliteBitsWithRates = kSatelliteBits + kExtendedInfoBits + kRoughRateBits;

// Signal data, one field for all cells before the next field.
struct SignalLayout
{
    int pseudorangeBits;
    double pseudorangeUnit; // ms
    int phaseBits;
    double phaseUnit; // ms
    int lockBits;
    int cnrBits;
    double cnrUnit; // dB-Hz
};

// MSM4 and MSM5: DF400 fine pseudorange, DF401 fine phase range, DF402 lock time, DF403 CNR.
constexpr SignalLayout kStandard{15, 0x1p-24, 22, 0x1p-29, 4, 6, 1.0};
// MSM6 and MSM7: DF405, DF406, DF407 and DF408, the same fields at a finer resolution.
constexpr SignalLayout kExtended{20, 0x1p-29, 24, 0x1p-31, 10, 10, 0x1p-4};
constexpr int kHalfCycleBits = 1; // DF420
constexpr int kFineRateBits = 15; // DF404, 0.0001 m/s
constexpr double kFineRateUnit = 0.0001;

constexpr int cellBits(const SignalLayout& layout, bool withRates)
{
    return layout.pseudorangeBits + layout.phaseBits + layout.lockBits + kHalfCycleBits + layout.cnrBits +
           (withRates ? kFineRateBits : 0);
}

// Every signed field of these messages marks an invalid value with its most negative number.
bool isInvalid(std::int64_t value, int bits)
{
    return value == -(std::int64_t{1} << (bits - 1));
}

// DF402: 0, then 32 ms doubling with each step up to 524288 ms.
int standardLockTimeMs(int indicator)
{
    return indicator == 0 ? 0 : 1 << (indicator + 4);
}

// DF407: 1 ms steps below 64, then the step doubles every 32 indicator values; 704 and up: 67108864 ms.
int extendedLockTimeMs(int indicator)
{
    constexpr int kLinear = 64;
    constexpr int kBlock = 32;
    constexpr int kLast = 704;
    if (indicator < kLinear)
        return indicator;
    if (indicator >= kLast)
        return kLinear << ((kLast - kLinear) / kBlock);
    const int block = (indicator - kLinear) / kBlock;
    const int blockStart = kLinear + block * kBlock;
    return (kLinear << block) + ((indicator - blockStart) << (block + 1));
}

int satelliteNumber(MsmSystem system, int id)
{
    constexpr int kSbasFirstRinexNumber = 20; // satellite ID 1 is PRN 120, RINEX S20
    return system == MsmSystem::Sbas ? id + kSbasFirstRinexNumber - 1 : id;
}

// One message's satellite fields, by satellite index.
struct SatelliteData
{
    int id[kMsmMaxSatellites];
    std::uint64_t roughMs[kMsmMaxSatellites];
    double roughRange[kMsmMaxSatellites]; // ms
    std::int64_t roughRate[kMsmMaxSatellites];
    int glonassChannel[kMsmMaxSatellites]; // k + 8, 0 when not known
};

void readSatellites(Rtcm3Decoder& decoder, MsmSystem system, bool withRates, int count, BitReader& reader,
                    SatelliteData& data)
{
    for (int i = 0; i < count; ++i)
        data.roughMs[i] = reader.readUnsigned(kRoughRangeBits);
    for (int i = 0; i < count; ++i)
    {
        // The channel is only sent with rates (MSM5, MSM7): remember it for MSM4 and MSM6.
        const int info = withRates ? reader.readInt(kExtendedInfoBits) : kGlonassChannelCodes;
        data.glonassChannel[i] = 0;
        if (system != MsmSystem::Glonass)
            continue;
        int& known = decoder.glonassChannels[data.id[i] - 1];
        if (info < kGlonassChannelCodes)
            known = info + 1;
        data.glonassChannel[i] = known;
    }
    for (int i = 0; i < count; ++i)
    {
        const std::uint64_t fraction = reader.readUnsigned(kRoughRangeModBits);
        data.roughRange[i] =
            static_cast<double>(data.roughMs[i]) + static_cast<double>(fraction) * kRoughRangeModUnit;
    }
    for (int i = 0; i < count; ++i)
        data.roughRate[i] = withRates ? reader.readSigned(kRoughRateBits) : 0;
}

} // namespace

void decodeMsm(Rtcm3Decoder& decoder, int message, BitReader& reader)
{
    MsmObservations& msm = decoder.msm;
    msm.message = 0;
    msm.cellCount = 0;
    const MsmSystem system = msmSystem(message);
    const int type = message % 10;
    const bool withRates = type == 5 || type == 7;
    const SignalLayout& layout = type >= 6 ? kExtended : kStandard;

    const auto epochField = static_cast<std::uint32_t>(reader.readUnsigned(kEpochBits));
    const int multipleMessage = reader.readInt(1); // DF393
    reader.skip(kHeaderFlagBits);
    const std::uint64_t satelliteMask = (reader.readUnsigned(32) << 32) | reader.readUnsigned(32);
    const auto signalMask = static_cast<std::uint32_t>(reader.readUnsigned(32));

    // The masks' set bits, from the top one (ID 1) down.
    SatelliteData satellites;
    int satelliteCount = 0;
    for (std::uint64_t rest = satelliteMask; rest != 0; ++satelliteCount)
    {
        const int above = std::countl_zero(rest);
        satellites.id[satelliteCount] = above + 1;
        rest &= ~(std::uint64_t{1} << (kMsmMaxSatellites - 1 - above));
    }
    int signals[kMsmMaxSignals];
    int signalCount = 0;
    for (std::uint32_t rest = signalMask; rest != 0; ++signalCount)
    {
        const int above = std::countl_zero(rest);
        signals[signalCount] = above + 1;
        rest &= ~(std::uint32_t{1} << (kMsmMaxSignals - 1 - above));
    }
    const int maskBits = satelliteCount * signalCount;
    if (maskBits > kMsmMaxCells || !msmEpochValid(system, epochField))
        return;

    // Cells in the order of the mask: satellite by satellite, each with its signals.
    int cellSatellite[kMsmMaxCells];
    int cellSignal[kMsmMaxCells];
    int cellCount = 0;
    for (int bit = 0; bit < maskBits; ++bit)
    {
        if (reader.readInt(1))
        {
            cellSatellite[cellCount] = bit / signalCount;
            cellSignal[cellCount] = signals[bit % signalCount];
            ++cellCount;
        }
    }
    const int neededBits = kHeaderBits + maskBits +
                           satelliteCount * (withRates ? kSatelliteBitsWithRates : kSatelliteBits) +
                           cellCount * cellBits(layout, withRates);
    // A short message would read as zeros: take none of it.
    if (neededBits > decoder.payloadLength * 8)
        return;

    readSatellites(decoder, system, withRates, satelliteCount, reader, satellites);

    std::int64_t finePseudorange[kMsmMaxCells];
    std::int64_t finePhase[kMsmMaxCells];
    int lock[kMsmMaxCells];
    int halfCycle[kMsmMaxCells];
    int cnr[kMsmMaxCells];
    std::int64_t fineRate[kMsmMaxCells];
    for (int c = 0; c < cellCount; ++c)
        finePseudorange[c] = reader.readSigned(layout.pseudorangeBits);
    for (int c = 0; c < cellCount; ++c)
        finePhase[c] = reader.readSigned(layout.phaseBits);
    for (int c = 0; c < cellCount; ++c)
        lock[c] = reader.readInt(layout.lockBits);
    for (int c = 0; c < cellCount; ++c)
        halfCycle[c] = reader.readInt(kHalfCycleBits);
    for (int c = 0; c < cellCount; ++c)
        cnr[c] = reader.readInt(layout.cnrBits);
    for (int c = 0; c < cellCount; ++c)
        fineRate[c] = withRates ? reader.readSigned(kFineRateBits) : 0;

    for (int c = 0; c < cellCount; ++c)
    {
        const int s = cellSatellite[c];
        MsmCell& cell = msm.cells[c];
        cell = MsmCell{};
        cell.satellite = satelliteNumber(system, satellites.id[s]);
        cell.signal = cellSignal[c];
        const bool rough = satellites.roughMs[s] != kRoughRangeInvalid;
        if (rough && !isInvalid(finePseudorange[c], layout.pseudorangeBits))
        {
            cell.pseudorange = (satellites.roughRange[s] +
                                static_cast<double>(finePseudorange[c]) * layout.pseudorangeUnit) *
                               kLightMs;
            cell.valid |= kMsmPseudorange;
        }
        const double wavelength = msmWavelength(system, cell.signal, satellites.glonassChannel[s] - 8);
        if (rough && wavelength > 0.0 && !isInvalid(finePhase[c], layout.phaseBits))
        {
            cell.phase = (satellites.roughRange[s] + static_cast<double>(finePhase[c]) * layout.phaseUnit) *
                         kLightMs / wavelength;
            cell.valid |= kMsmPhase;
        }
        if (withRates && !isInvalid(satellites.roughRate[s], kRoughRateBits) &&
            !isInvalid(fineRate[c], kFineRateBits))
        {
            cell.phaseRangeRate = static_cast<double>(satellites.roughRate[s]) +
                                  static_cast<double>(fineRate[c]) * kFineRateUnit;
            cell.valid |= kMsmPhaseRate;
        }
        if (cnr[c] != 0)
        {
            cell.cnr = cnr[c] * layout.cnrUnit;
            cell.valid |= kMsmCnr;
        }
        cell.lockTimeMs = type >= 6 ? extendedLockTimeMs(lock[c]) : standardLockTimeMs(lock[c]);
        cell.halfCycle = halfCycle[c];
    }

    msm.timeOfWeek = msmEpochToGpsTime(system, epochField, decoder.gpsWeek, decoder.lastSecondsOfWeek,
                                       decoder.leapSeconds);
    msm.week = decoder.gpsWeek;
    msm.system = system;
    msm.epochField = epochField;
    msm.multipleMessage = multipleMessage;
    msm.satelliteCount = satelliteCount;
    msm.signalCount = signalCount;
    msm.cellCount = cellCount;
    msm.message = message;
}

} // namespace Rtcm3
