// The quality report and picture of a converted log file, written beside its RINEX file (beside the log
// file when there is none) for the status page and the operator.
#pragma once

#include "Rtcm3/QualityFigures.h"

#include <chrono>
#include <optional>
#include <string>

namespace FileQuality
{

inline constexpr char kReportSuffix[] = ".qc.json";
inline constexpr char kPictureSuffix[] = ".qc.png";

// "<stem>.qc.json" of a written path: the path without the extension of its file name.
std::string besideAs(const std::string& path, const char* suffix);

struct QualityWritten
{
    std::optional<std::string> report;  // the report's absolute native path; none when it was not written
    std::string summary;                // the report's one line
    std::optional<std::string> problem; // why the report, or its picture, was not written
};

// Writes "<stem>.qc.png" and then "<stem>.qc.json", each whole, where the stem is the RINEX file's
// when there is one, else the log file's; paths in their written form. The picture may take up to
// pictureLimit; none is drawn without an epoch or time.
QualityWritten writeQualityFiles(const std::string& logFile, const std::optional<std::string>& rinex,
                                 Rtcm3::QualityFigures figures, std::chrono::milliseconds pictureLimit);

} // namespace FileQuality
