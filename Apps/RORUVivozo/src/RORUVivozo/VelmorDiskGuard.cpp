// The disk guard: free space of the log folder's file system, and the operator's word when it runs low.
#include "RORUVivozo/VelmorDiskGuard.h"

#include "Platform/NativePath.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>

namespace
{

constexpr double kSecondsPerDay = 86400.0;

// The folder may be gone (retention, an operator): its nearest existing parent is on the same disk.
std::optional<std::uint64_t> freeBytesAt(std::filesystem::path folder)
{
    for (;;)
    {
        struct statvfs disk;
        if (::statvfs(folder.c_str(), &disk) == 0)
            return std::uint64_t{disk.f_bavail} * disk.f_frsize;
        if (!folder.has_relative_path())
            return std::nullopt;
        folder = folder.parent_path();
    }
}

} // namespace

CDiskGuard::CDiskGuard(std::uint64_t lowBytes, Low low) : m_lowBytes(lowBytes), m_low(std::move(low)) {}

void CDiskGuard::check(LoggerSnapshot& snapshot)
{
    if (!snapshot.logFolder)
        return;
    const std::optional<std::uint64_t> free =
        freeBytesAt(std::filesystem::path(Platform::nativePath(*snapshot.logFolder)).lexically_normal());
    if (!free)
        return;
    if (*snapshot.logFolder != m_folder)
    {
        m_folder = *snapshot.logFolder;
        m_readings.clear();
    }
    const LoggerSnapshot::Steady::time_point now = snapshot.takenSteady;
    m_readings.push_back({now, *free, snapshot.bytes});
    while (now - m_readings.front().at > kRateSpan)
        m_readings.pop_front();
    snapshot.disk = LoggerSnapshot::Disk{*free, *free < m_lowBytes, daysLeft(snapshot)};
    if (snapshot.disk->low && (!m_told || now - *m_told >= kTellEvery))
    {
        m_told = now;
        m_low(*free, m_folder, snapshot.disk->daysLeft);
    }
}

std::optional<double> CDiskGuard::daysLeft(const LoggerSnapshot& snapshot) const
{
    const Reading& oldest = m_readings.front();
    const Reading& newest = m_readings.back();
    const auto span = newest.at - oldest.at;
    double used = 0;
    // What went from the disk, or at least what the logger wrote to it: RINEX and other writers count too.
    if (span >= kShortestSpan)
        used = std::max(static_cast<double>(oldest.freeBytes) - static_cast<double>(newest.freeBytes),
                        static_cast<double>(newest.written - oldest.written)) /
               std::chrono::duration<double>(span).count();
    else if (const double since = std::chrono::duration<double>(snapshot.taken - snapshot.started).count();
             since > 0)
        used = static_cast<double>(snapshot.bytes) / since;
    if (used <= 0)
        return std::nullopt;
    return static_cast<double>(newest.freeBytes) / used / kSecondsPerDay;
}
