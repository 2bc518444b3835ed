// The quality report of one log file: the figures of its scan summed up as an operator reads them
// (completeness, gaps, satellites, signal strength, messages), and its JSON document.
#pragma once

#include "Rtcm3/QualityFigures.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace FileQuality
{

// A stretch without an epoch for more than twice the interval: the last epoch before it and the first after.
struct Gap
{
    std::int64_t startMs; // GPS time, ms since 1980-01-06
    std::int64_t endMs;
};

struct QualityReport
{
    Rtcm3::QualityFigures figures;
    std::optional<std::int64_t> intervalMs; // the most common step between epochs
    std::int64_t expectedEpochs = 0;        // from the first to the last epoch at the interval
    std::optional<double> completeness;     // 0 to 1
    std::vector<Gap> gaps;
    // Epochs for a chart: all, or every n-th of each stretch between gaps with its ends, some 2000 in all.
    std::vector<std::size_t> timeline;
    std::string summary; // one line: "completeness 97.2 %, G 9 R 7 satellites, 1 gap (60 s)"
};

QualityReport summarize(Rtcm3::QualityFigures figures);

// The most common step between the epochs (ms); none for fewer than two.
std::optional<std::int64_t> mostCommonStep(const std::vector<Rtcm3::QualityEpoch>& epochs);

// The names the report gives for the file, its RINEX file and its picture, in their written form.
struct ReportNames
{
    std::string file;
    std::optional<std::string> rinex;
    std::optional<std::string> picture; // the picture's file name, beside the report
    std::optional<std::string> whyNoPicture;
};

// The JSON document (keys in QualityKeys.h), indented.
std::string reportJson(const QualityReport& report, const ReportNames& names);

// "2009-12-18T23:07:00Z" (GPS time taken as UTC, as the RINEX file and its name give it), with the
// milliseconds only when not whole.
std::string isoTime(std::int64_t gpsMs);

// "G", "R", ... of a system index of the figures.
char systemLetter(int system);

// "C1C", "C2W", ...: the RINEX code of a system's MSM signal, or "" when it has none.
std::string signalCode(int system, int signal);

} // namespace FileQuality
