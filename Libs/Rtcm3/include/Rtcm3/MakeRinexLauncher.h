// Starts the external conversion "makerinex.bat" for a caller that bounds it.
#pragma once

#include "Platform/ProcessGroup.h"

#include <string>
#include <vector>

namespace Rtcm3
{

constexpr const char* kMakeRinexProgram = "makerinex.bat";
// Tells the script the reference station whose messages the scan read.
constexpr const char* kStationVariable = "RTCM_STATION_ID";
// Tell it the RINEX version the scan decided, the station position it found ("x/y/z" in metres, empty when
// none) and what the header names (empty: the converter's default).
constexpr const char* kRinexVersionVariable = "RINEX_VERSION";
constexpr const char* kApproxPositionVariable = "RINEX_APPROX_POSITION";
constexpr const char* kMarkerNameVariable = "RINEX_MARKER_NAME";
constexpr const char* kMarkerNumberVariable = "RINEX_MARKER_NUMBER";
constexpr const char* kObserverVariable = "RINEX_OBSERVER";
constexpr const char* kAgencyVariable = "RINEX_AGENCY";
// The archive copy's observation and navigation files (written form; empty: no copy) and the interval it
// is sampled to in seconds (0 or empty: as recorded).
constexpr const char* kArchiveObservationVariable = "RINEX_ARCHIVE_OBS";
constexpr const char* kArchiveNavigationVariable = "RINEX_ARCHIVE_NAV";
constexpr const char* kArchiveIntervalVariable = "RINEX_ARCHIVE_INTERVAL";

// The command line as the program shows it.
std::string makeRinexCommandLine(const std::string& logFilePath, const std::string& rinexName);

// Spawns "makerinex.bat" from the search path with the two texts as separate arguments, as the leader
// of a process group of its own, which the caller waits for and may end with every program the script
// runs (convbin, sed). The child keeps the environment, working directory and standard streams, and no
// other descriptor; its environment also names the reference station and holds the extra "NAME=value"
// entries, each in place of the logger's own of that name. Not running when no child could be forked.
Platform::ProcessGroup startMakeRinex(const std::string& logFilePath, const std::string& rinexName,
                                      unsigned int station = 0,
                                      const std::vector<std::string>& environment = {});

} // namespace Rtcm3
