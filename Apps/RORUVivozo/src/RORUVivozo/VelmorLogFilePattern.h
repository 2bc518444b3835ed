// The logger's own log files as its current parameters name them: the log folder and file name, each
// date token standing for its digits, and the names that moving a file aside gives them.
#pragma once

#include "Platform/UniqueFd.h"

#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

// A folder the pattern gives, with the log files in it.
struct OwnLogFolder
{
    Platform::UniqueFd directory;
    std::string relative;              // below the suite root, '/' between levels: "c/rtcm/20261209"
    std::vector<std::string> logFiles; // names of regular files, sorted
};

class CLogFilePattern
{
public:
    // None when the logger would log to no such path (no drive, a ".." level, no ".rtcm").
    static std::optional<CLogFilePattern> of(const std::string& directory, const std::string& name);

    // Visits the folders below the suite root that the pattern gives, in order, reached without a symbolic
    // link past its fixed levels (and without one leading out of the suite root there), until visit
    // returns false. Only the folders on the way to the one visited are open: years of dated folders
    // never take the logger's descriptors.
    void forEachFolder(const std::function<bool(const OwnLogFolder&)>& visit) const;
    // The name the file had before it was moved aside: "base_1512.rtcm" for "base_1512_261207140509.rtcm".
    std::string unmovedName(const std::string& name) const;

private:
    std::string m_fixed;              // the levels before the first one with a date token
    std::vector<std::regex> m_levels; // the folder levels from there on
    std::regex m_name;                // the file name, its moved-aside suffix the one group

    // The folders below folder from the level on; false once visit has asked to stop.
    bool walk(OwnLogFolder folder, std::size_t level,
              const std::function<bool(const OwnLogFolder&)>& visit) const;
};

// "c/rtcm/x.rtcm" for "C:\rtcm\x.rtcm": below the suite root, one '/' between levels; none for a text
// without a drive.
std::optional<std::string> relativeBelowRoot(const std::string& written);
// "C:\rtcm\x.rtcm" for "c/rtcm/x.rtcm", as the operator reads paths.
std::string writtenForm(const std::string& relative);
// The names in a directory but "." and "..", sorted.
std::vector<std::string> entriesOf(int directory);
