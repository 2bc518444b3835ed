// The picture of a log file's quality ("<RINEX stem>.qc.png"): the satellites tracked per system over
// the file's time with its gaps marked, and the mean signal strength per system, drawn by gnuplot.
#pragma once

#include "FileQuality/QualityReport.h"

#include <chrono>
#include <optional>
#include <string>

namespace FileQuality
{

// How long gnuplot may draw one picture before it is ended.
inline constexpr std::chrono::seconds kPictureTimeLimit{30};

// The gnuplot script, with its data inline, that draws the picture as a PNG 1200 pixels wide to
// standard output; nullopt, with why, for a file that has no epoch to draw.
std::optional<std::string> pictureScript(const QualityReport& report, std::string& why);

// Runs gnuplot on the script as a child in a process group of its own, ends it with all it started
// after limit, and writes what it drew to pngPath (a native path) the way other readers need it. False,
// with why, when no picture was written.
bool drawPicture(const std::string& script, const std::string& pngPath, std::chrono::milliseconds limit,
                 std::string& why);

} // namespace FileQuality
