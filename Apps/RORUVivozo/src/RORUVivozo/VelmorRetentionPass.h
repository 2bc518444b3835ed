// One retention pass: the logger's own log files older than the days kept go, each with everything
// converted from it (RINEX, navigation and archive files, the script's .log, quality report and
// picture); a file open, waiting for or in conversion, or not converted stays, and so does every file
// the pattern does not give.
#pragma once

#include "RORUVivozo/VelmorLogFilePattern.h"
#include "RORUVivozo/VelmorStatus.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct RetentionRequest
{
    int days = 0;
    std::chrono::system_clock::time_point now;
    std::vector<std::string> inUse; // written paths: open, waiting for or in conversion
};

// Each deletion, each older log file kept and the sum are one trace line each (report). Stops between
// two log files once stop is set.
RetentionSummary deleteOldLogFiles(const CLogFilePattern& pattern, const RetentionRequest& request,
                                   const std::function<void(const std::string& line)>& report,
                                   const std::atomic<bool>& stop);
