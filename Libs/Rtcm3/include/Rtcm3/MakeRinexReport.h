// What a finished "makerinex.bat" left beside the RINEX name it was given: its .log and the files that
// .log says it wrote.
#pragma once

#include <string>
#include <vector>

namespace Rtcm3
{

struct MakeRinexReport
{
    std::string log;                   // written form; empty when none was found
    std::vector<std::string> written;  // as the script named them, in its order
    std::vector<std::string> archived; // the archive copies it wrote, likewise
    std::string archiveProblem;        // why it wrote no archive copy when asked for one; empty: none
};

// The script never replaces a RINEX file: a name in use gets a counter (YYYYMMDD_hhmmss_1.08o), the
// first free one, with its .log. Its conversion is thus the last of the names in use, counted on from
// the given one. rinexName is in the written form; so are the paths returned.
MakeRinexReport readMakeRinexReport(const std::string& rinexName);
// Every file one .log (written form) says its conversion wrote: RINEX and navigation files, archive copies.
std::vector<std::string> filesWrittenBy(const std::string& log);

} // namespace Rtcm3
