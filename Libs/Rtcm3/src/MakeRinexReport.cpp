// What a finished "makerinex.bat" left beside the RINEX name it was given.
#include "Rtcm3/MakeRinexReport.h"

#include "Platform/NativePath.h"

#include <fstream>
#include <unistd.h>

namespace Rtcm3
{

namespace
{

// The script's own limit of counters.
constexpr int kHighestCounter = 9999;
constexpr const char* kReportExtension = ".log";
constexpr const char* kWrittenLine = "makerinex.bat: wrote ";
constexpr const char* kArchivedLine = "makerinex.bat: archived ";
constexpr const char* kNoArchiveLine = "makerinex.bat: archive copy not written: ";
constexpr int kMostHeaderLines = 500; // a RINEX header is far shorter
constexpr std::size_t kCommentLabelColumn = 60;
constexpr std::size_t kLogCommentLength = 55; // "log: " and the path's first 55 characters
constexpr char kLogComment[] = "log: ";

bool exists(const std::string& written)
{
    return ::access(Platform::nativePath(written).c_str(), F_OK) == 0;
}

// In use as the script sees it: its .log, or its observation or navigation file (".08o", ".08n", ".08g").
bool inUse(const std::string& stem, const std::string& extension)
{
    if (exists(stem + kReportExtension) || exists(stem + extension))
        return true;
    if (extension.empty())
        return false;
    const std::string navigation = extension.substr(0, extension.size() - 1);
    return exists(stem + navigation + "n") || exists(stem + navigation + "g");
}

// Whether the header's COMMENT "log: ..." begins with the log file's path.
bool namesLogFile(const std::string& rinex, const std::string& logFilePath)
{
    std::ifstream in(Platform::nativePath(rinex));
    const std::string expected = logFilePath.substr(0, kLogCommentLength);
    std::string line;
    for (int count = 0; count < kMostHeaderLines && std::getline(in, line); ++count)
    {
        if (line.find("END OF HEADER") != std::string::npos)
            break;
        if (line.size() > kCommentLabelColumn && line.compare(kCommentLabelColumn, 7, "COMMENT") == 0 &&
            line.rfind(kLogComment, 0) == 0)
        {
            const std::string text = line.substr(sizeof kLogComment - 1, kLogCommentLength);
            if (text.compare(0, expected.size(), expected) == 0 &&
                text.find_first_not_of(' ', expected.size()) == std::string::npos)
                return true;
        }
    }
    return false;
}

} // namespace

MakeRinexReport findMakeRinexReport(const std::string& logFilePath, const std::string& rinexName,
                                    bool succeeded)
{
    const std::size_t dot = rinexName.find_last_of('.');
    const std::size_t separator = rinexName.find_last_of("\\/");
    const bool hasExtension = dot != std::string::npos && (separator == std::string::npos || dot > separator);
    const std::string base = hasExtension ? rinexName.substr(0, dot) : rinexName;
    const std::string extension = hasExtension ? rinexName.substr(dot) : std::string();

    std::string last;
    std::string named; // the last stem whose observation file names the log file
    for (int counter = 0; counter <= kHighestCounter; ++counter)
    {
        const std::string stem = counter == 0 ? base : base + "_" + std::to_string(counter);
        if (!inUse(stem, extension))
            break;
        last = stem;
        if (succeeded && namesLogFile(stem + extension, logFilePath))
            named = stem;
    }
    const std::string& stem = named.empty() ? last : named;
    MakeRinexReport report = !stem.empty() && exists(stem + kReportExtension)
                                 ? readMakeRinexLog(stem + kReportExtension)
                                 : MakeRinexReport{};
    if (!named.empty())
        report.rinex = named + extension;
    else if (succeeded && exists(rinexName))
        report.rinex = rinexName;
    return report;
}

MakeRinexReport readMakeRinexLog(const std::string& log)
{
    MakeRinexReport report;
    report.log = log;
    std::ifstream in(Platform::nativePath(log));
    for (std::string line; std::getline(in, line);)
    {
        for (const auto& [prefix, list] :
             {std::pair{kWrittenLine, &report.written}, {kArchivedLine, &report.archived}})
        {
            if (line.rfind(prefix, 0) == 0)
                list->push_back(line.substr(std::string(prefix).size()));
        }
        if (line.rfind(kNoArchiveLine, 0) == 0)
            report.archiveProblem = line.substr(std::string(kNoArchiveLine).size());
    }
    return report;
}

} // namespace Rtcm3
