// The archive copy of a converted file: its names and what "makerinex.bat" is told of it.
#include "RORUVivozo/VelmorArchiveCopy.h"

#include "FileQuality/QualityReport.h"
#include "Rtcm3/ArchiveName.h"
#include "Rtcm3/MakeRinexLauncher.h"

#include <algorithm>

namespace
{

constexpr std::int64_t kSecondMs = 1000;

std::string entry(const char* name, const std::string& value)
{
    return std::string(name) + "=" + value;
}

// The folder as written, without the separators it may end with: one is put before the name.
std::string folderOf(std::string directory)
{
    while (!directory.empty() && (directory.back() == '\\' || directory.back() == '/'))
        directory.pop_back();
    return directory;
}

} // namespace

ArchiveCopy archiveCopy(const Rtcm3::ScanContext& context, const Rtcm3::ScanResult& scan,
                        const Rtcm3::QualityFigures& quality)
{
    ArchiveCopy copy;
    if (context.archiveDirectory.empty())
    {
        copy.environment = {entry(Rtcm3::kArchiveObservationVariable, ""),
                            entry(Rtcm3::kArchiveNavigationVariable, ""),
                            entry(Rtcm3::kArchiveIntervalVariable, "")};
        return copy;
    }
    Rtcm3::EpochTime first{};
    Rtcm3::firstEpochTime(scan.mjd, scan.secondsOfDay, scan.firstSecondsOfWeek, first);
    const std::int64_t span =
        quality.epochs.empty() ? 0 : quality.epochs.back().gpsMs - quality.epochs.front().gpsMs;
    // Sampling keeps the epochs at whole multiples of the interval: never more often than recorded.
    const int sampledS = std::max(context.archiveIntervalS, 0);
    const std::int64_t interval =
        std::max(std::int64_t{sampledS} * kSecondMs, FileQuality::mostCommonStep(quality.epochs).value_or(0));
    const Rtcm3::ArchiveNames names =
        Rtcm3::archiveNames({context.markerName, context.station, context.monumentReceiver, context.country},
                            first, span, interval);
    const std::string folder = folderOf(context.archiveDirectory);
    copy.observation = folder + "\\" + names.observation;
    copy.adjusted = names.adjusted;
    copy.environment = {entry(Rtcm3::kArchiveObservationVariable, copy.observation),
                        entry(Rtcm3::kArchiveNavigationVariable, folder + "\\" + names.navigation),
                        entry(Rtcm3::kArchiveIntervalVariable, std::to_string(sampledS))};
    return copy;
}
