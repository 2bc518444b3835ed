// What a log file holds, as the conversion's scan finds it in its one pass: the epochs of the station as
// convbin writes them into the RINEX file, the satellites and signal strengths of each system, the
// messages, and what was not a frame.
#pragma once

#include "Rtcm3/Msm.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Rtcm3
{

// Systems by MsmSystem number, 1 (GPS) to 6 (BeiDou); legacy satellites go to G, R and S.
constexpr int kQualitySystems = 7;

using SatelliteSet = std::uint64_t; // bit n - 1 for the system's satellite ID n (SBAS: PRN 119 + n)

// One epoch of the RINEX file.
struct QualityEpoch
{
    std::int64_t gpsMs; // GPS time, ms since 1980-01-06 (taken as UTC, as in the RINEX file)
    std::array<std::uint8_t, kQualitySystems> satellites;
    std::array<float, kQualitySystems> cnrMean; // dB-Hz over the system's signals; 0: none carried
};

// Sum and count of the C/N0 values of one signal.
struct CnrSum
{
    double sum = 0.0;
    std::uint64_t count = 0;
};

struct QualityFigures
{
    bool scanned = false; // the file was read through
    unsigned int station = 0;
    std::optional<std::array<double, 3>> positionEcef; // m, the first 1005/1006's
    std::optional<std::string> antenna;                // the first 1007/1008/1033's descriptor
    std::optional<std::string> receiver;               // the first 1033's receiver type
    std::vector<unsigned int> stationsFound;           // every station with a message, ascending
    bool dated = false;                                // epoch times are GPS time; else the week is not known
    std::vector<QualityEpoch> epochs;                  // in time order
    std::array<SatelliteSet, kQualitySystems> distinct{};
    // By system and MSM signal ID (legacy signals under the ID of the same RINEX code).
    std::array<std::array<CnrSum, kMsmMaxSignals + 1>, kQualitySystems> cnr{};
    std::map<int, std::uint64_t> messages; // of the station, by number
    std::uint64_t bytes = 0;
    std::uint64_t bytesOutsideFrames = 0;
    std::uint64_t badCrcFrames = 0;
};

} // namespace Rtcm3
