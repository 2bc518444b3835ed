// The hand-off point: after each successful conversion, a program of the site's own, "afterrinex" on the
// PATH, gets the log file and every file written for it (an rsync, an upload to an archive).
#pragma once

#include "Platform/ProcessGroup.h"
#include "RORUVivozo/VelmorStatus.h"
#include "Rtcm3/MakeRinexReport.h"

#include <string>
#include <vector>

inline constexpr char kAfterRinexProgram[] = "afterrinex";

// The log file, the RINEX files, the quality report and its picture, and the archive copies, each as a
// native path, as the program opens them: the suite's written form ("C:\...") means nothing to rsync.
std::vector<std::string> handOffFiles(const std::string& logFile, const Rtcm3::MakeRinexReport& made,
                                      const ConversionFiles& files);

// Starts afterrinex with the files as its arguments, as the leader of a process group of its own, standard
// input from /dev/null, output and errors the logger's. Not running when it could not be started; error
// then says why (ENOENT: there is none on the PATH).
Platform::ProcessGroup startAfterRinex(const std::vector<std::string>& files, int& error);
