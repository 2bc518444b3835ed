// The disk guard: the free space of the log folder's file system for the status, and the operator's
// word, at most once an hour, when it runs low. On the status thread, never the engine's: a statvfs may
// wait on a slow or hung file system.
#pragma once

#include "RORUVivozo/VelmorStatus.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

class CDiskGuard
{
public:
    // The free bytes, the log folder (written form) and the days left, none when no rate is known.
    using Low = std::function<void(std::uint64_t freeBytes, const std::string& folder,
                                   std::optional<double> daysLeft)>;

    static constexpr std::chrono::hours kTellEvery{1};
    // The rate is how fast the space went over this span (since the first reading when shorter).
    static constexpr std::chrono::hours kRateSpan{1};
    // A shorter span than this says little: the rate of the datagrams written since start stands in.
    static constexpr std::chrono::seconds kShortestSpan{10};

    // lowBytes 0: the disk is never low.
    CDiskGuard(std::uint64_t lowBytes, Low low);

    // Puts the disk's figures into the snapshot, once a file has given the log folder; tells when low.
    void check(LoggerSnapshot& snapshot);

private:
    struct Reading
    {
        LoggerSnapshot::Steady::time_point at;
        std::uint64_t freeBytes;
        std::uint64_t written; // datagram bytes since start
    };
    std::optional<double> daysLeft(const LoggerSnapshot& snapshot) const;

    const std::uint64_t m_lowBytes;
    Low m_low;
    std::string m_folder;           // of the readings
    std::deque<Reading> m_readings; // within the rate span, oldest first
    std::optional<LoggerSnapshot::Steady::time_point> m_told;
};
