// The control's housekeeping off the engine thread: the operator's word when the log folder's disk runs
// low, and the files a retention pass leaves whatever their age.
#include "RORUVivozo/VelmorControl.h"

#include <cstdio>

void CVelmorControl::ReportDiskLow(std::uint64_t freeBytes, const std::string& folder,
                                   std::optional<double> daysLeft)
{
    const double freeMb = static_cast<double>(freeBytes) / static_cast<double>(kBytesPerMegabyte);
    char days[32] = "?";
    if (daysLeft)
        std::snprintf(days, sizeof days, "%.1f", *daysLeft);
    TraceData("\n\tWARNING: Only %.1f MB free on the disk of log folder %s, below %d MB: %s days left at the "
              "current rate.",
              freeMb, folder.c_str(), m_diskLowMb, days);
    m_messages.postFormatted(MSG_DISK_LOW, freeMb, folder, m_diskLowMb, std::string(days));
}

std::vector<std::string> CVelmorControl::FilesInUse()
{
    std::vector<std::string> files = m_logSink->conversionsPending();
    if (const std::optional<std::string> open = m_status.snapshot().file)
        files.push_back(*open);
    return files;
}
