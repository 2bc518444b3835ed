// Where a log file may be written: only a ".rtcm" file of a drive path, in a directory below the suite
// root that is reached without following a symbolic link out of it. The suite's own files (database,
// ODBC files, token file, logging configuration) are no ".rtcm" files, so no sentence can touch them.
#pragma once

#include "Platform/UniqueFd.h"

#include <string>
#include <vector>

// The file name of a written path: what follows its last ':', '\' or '/'.
std::string fileNameOf(const std::string& path);

// Why a log file path may not be opened, as the trace names it; nullptr when it may.
const char* logFilePathRefusal(const std::string& path);

// The log file's directory, opened for reading and syncing, with its missing levels created.
struct LogFolder
{
    Platform::UniqueFd directory; // invalid when it could not be reached
    bool existed = false;         // false: some level was created, or none could be reached
    bool leadsOut = false;        // refused: a symbolic link on the way leads out of the suite root
    std::vector<Platform::UniqueFd> changed; // directories that got a new level: to be synced
};

// Missing levels are created from at most this many characters of the directory part.
inline constexpr std::size_t kMaxDirectoryPart = 499;

// directoryPart: the written path up to its last separator, a drive path ("C:\rtcm\").
LogFolder openLogFolder(const std::string& directoryPart);
