// Gathers a file's quality figures from the messages of its scan, while the decoder holds each.
#pragma once

#include "Rtcm3/QualityFigures.h"
#include "Rtcm3/Rtcm3Decoder.h"

#include <optional>
#include <vector>

namespace Rtcm3
{

struct ScanResult;

// Fed with every message of the station while the scan's decoder still holds it, then finished with
// the scan's findings, which date the epochs.
class QualityTally
{
public:
    void take(const Rtcm3Decoder& decoder, const DecodeResult& decoded);
    // bytes: the file's length. Leaves the tally empty.
    QualityFigures finish(const Rtcm3Decoder& decoder, const ScanResult& scan, std::uint64_t bytes);

private:
    // Epoch being gathered: a message of another time, or one after the epoch was written, starts anew;
    // a message that says no more of its epoch follow writes it, unless it is not later than the last.
    struct Gathering
    {
        std::int64_t ms = 0; // as the scan's decoder dates it: from the seeded week
        std::array<SatelliteSet, kQualitySystems> satellites{};
        std::array<float, kQualitySystems> cnrSum{};
        std::array<std::uint32_t, kQualitySystems> cnrCount{}; // a file may repeat one epoch time without end
        bool any = false;
        bool written = false;
    };

    void takeMsm(const MsmObservations& msm);
    void takeLegacyEpoch(const ObservationEpoch& epoch);
    void gather(std::int64_t ms);
    void addCnr(int system, int signal, double cnr);
    void write();
    void noteFirstObservation(const Rtcm3Decoder& decoder);
    void knowReference();

    using EpochSatellites = std::array<SatelliteSet, kQualitySystems>;

    QualityFigures m_figures;
    std::vector<EpochSatellites> m_epochSatellites; // of each epoch of m_figures.epochs
    Gathering m_epoch;
    std::optional<std::int64_t> m_lastWritten;
    // Until a message dated by GPS time (GLONASS legacy ones, and GLONASS MSM without their day, are
    // not), the decoder's reference week and day are guesses: epochs before are dated apart.
    bool m_referenceKnown = false;
    std::size_t m_firstReferenced = 0; // index of the first epoch written once the reference was known
    std::optional<std::int64_t> m_firstObservationSeconds; // the scan's first epoch as its decoder dated it
};

} // namespace Rtcm3
