// Starts the external conversion "makerinex.bat": forgotten, or for a caller that bounds it.
#pragma once

#include "Platform/ProcessGroup.h"

#include <string>

namespace Rtcm3
{

constexpr const char* kMakeRinexProgram = "makerinex.bat";
// Tells the script the reference station whose messages the scan read.
constexpr const char* kStationVariable = "RTCM_STATION_ID";

// The command line as the program shows it.
std::string makeRinexCommandLine(const std::string& logFilePath, const std::string& rinexName);

// Spawns "makerinex.bat" from the search path with the two texts as separate arguments. The
// child keeps the environment, working directory and standard streams, and no other descriptor;
// its environment also names the reference station. Returns false only when no child could be
// forked; the conversion's outcome is never looked at.
bool launchMakeRinex(const std::string& logFilePath, const std::string& rinexName, unsigned int station = 0);

// Spawns it in the same way, but as the leader of a process group of its own, which the caller waits
// for and may end with every program the script runs (convbin, sed). Not running when no child could
// be forked.
Platform::ProcessGroup startMakeRinex(const std::string& logFilePath, const std::string& rinexName,
                                      unsigned int station = 0);

} // namespace Rtcm3
