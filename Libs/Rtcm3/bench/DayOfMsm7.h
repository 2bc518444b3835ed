// A day of a modern base station as a log file: 1 Hz MSM7 of GPS, GLONASS, Galileo and BeiDou (ten
// satellites of two signals each), with its 1006, 1033 and 1013 every ten seconds: 91 MB.
#pragma once

#include "../tests/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Rtcm3Bench
{

constexpr int kDaySeconds = 86400;
constexpr int kLeapSeconds = 18;
constexpr int kGlonassLeadMs = 3 * 3600 * 1000; // GLONASS time is UTC(SU) + 3 h
constexpr int kBeidouLagMs = 14000;
constexpr int kSatellites = 10;
constexpr int kFirstMjd = 60000;    // 2023-02-25, a Saturday
constexpr int kStartSecond = 43200; // of that day: the file runs into the next GPS week
constexpr int kStationInfoEvery = 10;

struct DaySystem
{
    int message;
    int signals[2];
    int satelliteIds; // satellites the system's mask may name, 1 to this
};

// GPS 1C and 2L, GLONASS 1C and 2C, Galileo 1C and 7Q, BeiDou 2I and 7I.
constexpr DaySystem kDaySystems[] = {
    {1077, {2, 16}, 32}, {1087, {2, 8}, 24}, {1097, {2, 15}, 36}, {1127, {2, 14}, 46}};

// The epoch field of a system for a GPS time of week in ms.
inline std::uint32_t epochField(int message, std::int64_t gpsMs)
{
    constexpr std::int64_t kWeekMs = 7LL * kDaySeconds * 1000;
    const std::int64_t towMs = gpsMs % kWeekMs;
    if (message == 1087)
    {
        const std::int64_t glonassMs = (gpsMs - kLeapSeconds * 1000 + kGlonassLeadMs) % kWeekMs;
        const std::int64_t day = glonassMs / (kDaySeconds * 1000);
        return static_cast<std::uint32_t>((day << 27) | (glonassMs % (kDaySeconds * 1000)));
    }
    if (message == 1127)
        return static_cast<std::uint32_t>((towMs - kBeidouLagMs + kWeekMs) % kWeekMs);
    return static_cast<std::uint32_t>(towMs);
}

// One system's MSM7 of one epoch; the satellites in view change every half hour.
inline Rtcm3Test::Bytes msm7(const DaySystem& system, int second, std::int64_t gpsMs, bool last)
{
    std::vector<Rtcm3Test::MsmSatellite> satellites;
    const int shift = second / 1800;
    for (int k = 0; k < kSatellites; ++k)
    {
        Rtcm3Test::MsmSatellite satellite;
        satellite.id = (k * 3 + shift) % system.satelliteIds + 1;
        satellite.info = satellite.id % 14;
        satellite.roughMs = 66 + k;
        satellites.push_back(satellite);
    }
    std::sort(satellites.begin(), satellites.end(), [](auto& a, auto& b) { return a.id < b.id; });
    satellites.erase(
        std::unique(satellites.begin(), satellites.end(), [](auto& a, auto& b) { return a.id == b.id; }),
        satellites.end());
    std::vector<Rtcm3Test::MsmSignal> cells(satellites.size() * 2);
    for (std::size_t c = 0; c < cells.size(); ++c)
        cells[c].cnr = (38 + static_cast<int>((c + static_cast<std::size_t>(second)) % 12)) * 16;
    return Rtcm3Test::msmMessage(system.message, epochField(system.message, gpsMs), last ? 0 : 1, satellites,
                                 {system.signals[0], system.signals[1]},
                                 std::vector<bool>(cells.size(), true), cells);
}

// Writes the day to path unless a file of it is there already; false when it cannot.
inline bool writeDayOfMsm7(const std::string& path)
{
    if (std::FILE* existing = std::fopen(path.c_str(), "rb"))
    {
        std::fclose(existing);
        return true;
    }
    const std::string partial = path + ".part";
    std::FILE* out = std::fopen(partial.c_str(), "wb");
    if (out == nullptr)
        return false;
    const int dayOfWeek = (kFirstMjd - 44244) % 7;
    Rtcm3Test::Bytes epoch;
    for (int second = 0; second < kDaySeconds; ++second)
    {
        const int ofFirstDay = kStartSecond + second;
        const std::int64_t gpsMs = (static_cast<std::int64_t>(dayOfWeek) * kDaySeconds + ofFirstDay) * 1000;
        epoch.clear();
        if (second % kStationInfoEvery == 0)
        {
            Rtcm3Test::append(
                epoch, Rtcm3::stationPositionFrame(1006, 0, -38692975138, 34365713345, 37173693757, 1500));
            Rtcm3Test::append(epoch, Rtcm3::antennaDescriptorFrame(1033, 0, "TRM59800.00     NONE"));
            Rtcm3Test::append(epoch, Rtcm3::systemParametersFrame(0, kFirstMjd + ofFirstDay / kDaySeconds,
                                                                  ofFirstDay % kDaySeconds, kLeapSeconds));
        }
        for (std::size_t s = 0; s < std::size(kDaySystems); ++s)
            Rtcm3Test::append(epoch, msm7(kDaySystems[s], second, gpsMs, s + 1 == std::size(kDaySystems)));
        if (std::fwrite(epoch.data(), 1, epoch.size(), out) != epoch.size())
        {
            std::fclose(out);
            std::remove(partial.c_str());
            return false;
        }
    }
    return std::fclose(out) == 0 && std::rename(partial.c_str(), path.c_str()) == 0;
}

} // namespace Rtcm3Bench
