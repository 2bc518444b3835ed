// Starts the external conversion "makerinex.bat" and forgets it.
#pragma once

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

} // namespace Rtcm3
