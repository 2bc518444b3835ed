// What a finished "makerinex.bat" left for a log file: its .log, the RINEX file it wrote and the files that
// .log says it wrote.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Rtcm3
{

struct MakeRinexReport
{
    std::string log;                   // written form; empty when none was found
    std::optional<std::string> rinex;  // the observation file written for the log file; none when not there
    std::vector<std::string> written;  // as the script named them, in its order
    std::vector<std::string> archived; // the archive copies it wrote, likewise
    std::string archiveProblem;        // why it wrote no archive copy when asked for one; empty: none
};

// The script never replaces a RINEX file: a name in use gets a counter (YYYYMMDD_hhmmss_1.08o), the
// first free one, with its .log. A conversion that succeeded is the last of the names in use, counted on
// from rinexName, whose observation file's header names the log file; without one (a script of the
// operator's own), the last name in use, with rinexName itself as its RINEX file when that is there. A
// failed one is the last name in use, without a RINEX file (an earlier file of the same path may have one
// whose header names it). Paths in the written form.
MakeRinexReport findMakeRinexReport(const std::string& logFilePath, const std::string& rinexName,
                                    bool succeeded);
// What one .log (written form) says its conversion wrote; rinex stays empty.
MakeRinexReport readMakeRinexLog(const std::string& log);

} // namespace Rtcm3
