// Gathers a file's quality figures from the messages of its scan, while the decoder holds each.
#include "QualityTally.h"

#include "Rtcm3/ConvertLogFile.h"
#include "StationMessages.h"
#include "TimeUnits.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

namespace Rtcm3
{

namespace
{

constexpr int kSbasFirstPrn = 120;
constexpr int kSbasLastPrn = 138;
constexpr int kSbasFirstRinexNumber = 20; // PRN 120 is RINEX S20
constexpr int kGpsLastPrn = 32;
constexpr int kGlonassSlots = 24;
constexpr std::int64_t kMsPerWeekLong = kMsPerWeek;

// MSM signal IDs that carry the RINEX codes of the legacy observations.
constexpr int kSignal1C = 2;
constexpr int kSignal1P = 3;
constexpr int kSignalGlonass2C = 8;
constexpr int kSignal2P = 9;
constexpr int kSignalGps2W = 10; // cross-correlated or codeless L2
constexpr int kSignalGps2X = 17; // C/A or L2C code on L2

bool isLegacyObservation(int message)
{
    return (message >= 1001 && message <= 1004) || (message >= 1009 && message <= 1012);
}

// The system and satellite ID (1 to 64) of an epoch row's satellite number; false for none.
bool legacySatellite(int number, MsmSystem& system, int& id)
{
    if (number >= 1 && number <= kGpsLastPrn)
    {
        system = MsmSystem::Gps;
        id = number;
    }
    else if (number >= kSbasFirstPrn && number <= kSbasLastPrn)
    {
        system = MsmSystem::Sbas;
        id = number - kSbasFirstPrn + 1;
    }
    else if (number > kGlonassNumberOffset && number <= kGlonassNumberOffset + kGlonassSlots)
    {
        system = MsmSystem::Glonass;
        id = number - kGlonassNumberOffset;
    }
    else
        return false;
    return true;
}

std::string trimmed(const char* text, std::size_t length)
{
    std::string value(text, length);
    value.erase(value.find_last_not_of(' ') + 1);
    return value;
}

std::optional<std::string> nonEmpty(std::string text)
{
    return text.empty() ? std::nullopt : std::optional<std::string>(std::move(text));
}

// A 1033's receiver type: after the antenna descriptor, the setup ID and the antenna serial number,
// each text its count byte and its characters.
std::optional<std::string> receiverType(const unsigned char* payload, int length)
{
    int at = kDescriptorCounterByte;
    const auto skipText = [&]
    {
        if (at >= length)
            return false;
        at += 1 + payload[at];
        return true;
    };
    if (!skipText())
        return std::nullopt;
    at += kAntennaSetupIdBits / 8;
    if (!skipText() || at >= length || at + 1 + payload[at] > length)
        return std::nullopt;
    return nonEmpty(trimmed(reinterpret_cast<const char*>(payload + at + 1), payload[at]));
}

// A GLONASS MSM without its day of the week is dated only by the decoder's guess of the day.
bool datedByGpsTime(const MsmObservations& msm)
{
    constexpr std::uint32_t kUnknownDay = 7;
    constexpr int kDayShift = 27; // DF416 above DF034
    return msm.system != MsmSystem::Glonass || (msm.epochField >> kDayShift) != kUnknownDay;
}

} // namespace

void QualityTally::take(const Rtcm3Decoder& decoder, const DecodeResult& decoded)
{
    const int message = decoded.message;
    if (message == 0)
        return;
    ++m_figures.messages[message];
    if (isMsmObservation(message) && decoder.msm.message == message)
    {
        noteFirstObservation(decoder);
        if (datedByGpsTime(decoder.msm))
            knowReference();
        takeMsm(decoder.msm);
    }
    else if (isLegacyObservation(message))
    {
        noteFirstObservation(decoder);
        if (message <= 1004)
            knowReference();
        // convbin writes the epoch that a message with the flag 0 ends, and drops one that a message of
        // another time cuts off. That message's own time may have released the epoch before it: then its
        // epoch waits in collecting, and is not taken again when released.
        if (decoded.status != DecodeStatus::Nothing && decoder.lastSyncFlag == 0)
            takeLegacyEpoch(decoder.collecting.week == 0 ? decoder.completed : decoder.collecting);
    }
    else if ((message == 1005 || message == 1006) && !m_figures.positionEcef)
        m_figures.positionEcef = std::array<double, 3>{decoder.stationX * kStationCountMetres,
                                                       decoder.stationY * kStationCountMetres,
                                                       decoder.stationZ * kStationCountMetres};
    else if (message == 1007 || message == 1008 || message == 1033)
    {
        if (!m_figures.antenna)
            m_figures.antenna =
                nonEmpty(trimmed(decoder.antennaDescriptor, std::strlen(decoder.antennaDescriptor)));
        if (message == 1033 && !m_figures.receiver)
            m_figures.receiver = receiverType(decoder.frame + kHeaderBytes, decoder.payloadLength);
    }
}

void QualityTally::noteFirstObservation(const Rtcm3Decoder& decoder)
{
    if (!m_firstObservationSeconds)
        m_firstObservationSeconds =
            static_cast<std::int64_t>(decoder.gpsWeek) * kSecondsPerWeek + decoder.lastSecondsOfWeek;
}

void QualityTally::knowReference()
{
    if (m_referenceKnown)
        return;
    m_referenceKnown = true;
    m_firstReferenced = m_figures.epochs.size();
    // Dated apart, the epochs before may lie later than those after.
    m_lastWritten.reset();
    if (m_epoch.any && !m_epoch.written)
        m_epoch = Gathering{};
}

void QualityTally::gather(std::int64_t ms)
{
    if (!m_epoch.any || m_epoch.written || m_epoch.ms != ms)
    {
        m_epoch = Gathering{};
        m_epoch.ms = ms;
        m_epoch.any = true;
    }
}

void QualityTally::addCnr(int system, int signal, double cnr)
{
    CnrSum& sum = m_figures.cnr[system][signal];
    sum.sum += cnr;
    ++sum.count;
    m_epoch.cnrSum[system] += static_cast<float>(cnr);
    ++m_epoch.cnrCount[system];
}

void QualityTally::takeMsm(const MsmObservations& msm)
{
    if (msm.cellCount > 0)
    {
        gather(static_cast<std::int64_t>(msm.week) * kMsPerWeekLong + std::llround(msm.timeOfWeek));
        const int system = static_cast<int>(msm.system);
        for (int c = 0; c < msm.cellCount; ++c)
        {
            const MsmCell& cell = msm.cells[c];
            const int id =
                msm.system == MsmSystem::Sbas ? cell.satellite - kSbasFirstRinexNumber + 1 : cell.satellite;
            m_epoch.satellites[system] |= SatelliteSet{1} << (id - 1);
            if (cell.valid & kMsmCnr)
                addCnr(system, cell.signal, cell.cnr);
        }
    }
    if (msm.multipleMessage == 0)
        write();
}

void QualityTally::takeLegacyEpoch(const ObservationEpoch& epoch)
{
    if (epoch.satelliteCount > 0)
    {
        gather(static_cast<std::int64_t>(epoch.week) * kMsPerWeekLong + std::llround(epoch.timeOfWeek));
        for (int row = 0; row < epoch.satelliteCount; ++row)
        {
            MsmSystem system = MsmSystem::None;
            int id = 0;
            if (!legacySatellite(epoch.satellites[row], system, id))
                continue;
            const int s = static_cast<int>(system);
            m_epoch.satellites[s] |= SatelliteSet{1} << (id - 1);
            const int mask = epoch.masks[row];
            const bool glonass = system == MsmSystem::Glonass;
            const int l2Code = glonass ? kSignalGlonass2C : kSignalGps2X;
            const int l2P = glonass || !(mask & kFlagL2CrossCorrelated) ? kSignal2P : kSignalGps2W;
            const std::pair<int, int> strengths[] = {
                {kS1CA, kSignal1C}, {kS1P, kSignal1P}, {kS2CA, l2Code}, {kS2P, l2P}};
            for (const auto& [slot, signal] : strengths)
            {
                if (mask & (1 << slot))
                    addCnr(s, signal, epoch.values[row][slot]);
            }
        }
    }
    write();
}

void QualityTally::write()
{
    if (!m_epoch.any || m_epoch.written)
        return;
    m_epoch.written = true;
    // convbin writes no epoch that is not later than the one it wrote last.
    if (m_lastWritten && m_epoch.ms <= *m_lastWritten)
        return;
    m_lastWritten = m_epoch.ms;
    QualityEpoch epoch{m_epoch.ms, {}, {}};
    m_epochSatellites.push_back(m_epoch.satellites);
    for (int s = 0; s < kQualitySystems; ++s)
    {
        epoch.satellites[s] = static_cast<std::uint8_t>(std::popcount(m_epoch.satellites[s]));
        epoch.cnrMean[s] =
            m_epoch.cnrCount[s] > 0 ? m_epoch.cnrSum[s] / static_cast<float>(m_epoch.cnrCount[s]) : 0.0F;
    }
    m_figures.epochs.push_back(epoch);
}

QualityFigures QualityTally::finish(const Rtcm3Decoder& decoder, const ScanResult& scan, std::uint64_t bytes)
{
    QualityFigures figures = std::move(m_figures);
    figures.scanned = true;
    figures.station = decoder.stationFilter;
    figures.bytes = bytes;
    figures.bytesOutsideFrames = bytes - std::min(bytes, decoder.frameBytes);
    figures.badCrcFrames = decoder.badCrcFrames;
    figures.stationsFound = stationsIn(decoder.stationsSeen);
    figures.dated =
        ((scan.foundBits | scan.waivedBits) & kFoundAll) == kFoundAll && m_firstObservationSeconds;
    std::vector<QualityEpoch>& epochs = figures.epochs;
    std::vector<EpochSatellites>& satellites = m_epochSatellites;
    if (figures.dated && !epochs.empty())
    {
        // Before the reference was known, as the scan dated the first epoch; after, in the week that the
        // file's date puts the first such epoch in.
        EpochTime first{};
        firstEpochTime(scan.mjd, scan.secondsOfDay, scan.firstSecondsOfWeek, first);
        const std::int64_t guessShift = (static_cast<std::int64_t>(first.gpsWeek) * kSecondsPerWeek +
                                         scan.firstSecondsOfWeek - *m_firstObservationSeconds) *
                                        1000;
        std::int64_t weekShift = 0;
        if (m_firstReferenced < epochs.size())
        {
            const std::int64_t anchor = epochs[m_firstReferenced].gpsMs;
            const std::int64_t seededWeek = anchor / kMsPerWeekLong;
            EpochTime dated{};
            firstEpochTime(scan.mjd, scan.secondsOfDay, static_cast<double>(anchor % kMsPerWeekLong) / 1000.0,
                           dated);
            weekShift = (dated.gpsWeek - seededWeek) * kMsPerWeekLong;
        }
        for (std::size_t i = 0; i < epochs.size(); ++i)
            epochs[i].gpsMs += i < m_firstReferenced ? guessShift : weekShift;
        // Dated apart, the two stretches may meet in one epoch.
        std::vector<QualityEpoch> ordered;
        std::vector<EpochSatellites> orderedSatellites;
        ordered.reserve(epochs.size());
        orderedSatellites.reserve(epochs.size());
        for (std::size_t i = 0; i < epochs.size(); ++i)
        {
            const QualityEpoch& epoch = epochs[i];
            if (ordered.empty() || epoch.gpsMs > ordered.back().gpsMs)
            {
                ordered.push_back(epoch);
                orderedSatellites.push_back(satellites[i]);
            }
            else if (epoch.gpsMs == ordered.back().gpsMs)
            {
                for (int s = 0; s < kQualitySystems; ++s)
                {
                    if (epoch.satellites[s] > ordered.back().satellites[s])
                    {
                        ordered.back().satellites[s] = epoch.satellites[s];
                        ordered.back().cnrMean[s] = epoch.cnrMean[s];
                        orderedSatellites.back()[s] = satellites[i][s];
                    }
                }
            }
        }
        epochs = std::move(ordered);
        satellites = std::move(orderedSatellites);
    }
    // Those of the epochs kept: one the order drops is not in the RINEX file.
    for (const EpochSatellites& epoch : satellites)
    {
        for (int s = 0; s < kQualitySystems; ++s)
            figures.distinct[s] |= epoch[s];
    }
    *this = QualityTally{};
    return figures;
}

} // namespace Rtcm3
