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

} // namespace

MakeRinexReport readMakeRinexReport(const std::string& rinexName)
{
    const std::size_t dot = rinexName.find_last_of('.');
    const std::size_t separator = rinexName.find_last_of("\\/");
    const bool hasExtension = dot != std::string::npos && (separator == std::string::npos || dot > separator);
    const std::string base = hasExtension ? rinexName.substr(0, dot) : rinexName;
    const std::string extension = hasExtension ? rinexName.substr(dot) : std::string();

    std::string last;
    for (int counter = 0; counter <= kHighestCounter; ++counter)
    {
        const std::string stem = counter == 0 ? base : base + "_" + std::to_string(counter);
        if (!inUse(stem, extension))
            break;
        last = stem;
    }
    MakeRinexReport report;
    if (last.empty() || !exists(last + kReportExtension))
        return report;
    report.log = last + kReportExtension;
    std::ifstream in(Platform::nativePath(report.log));
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

std::vector<std::string> filesWrittenBy(const std::string& log)
{
    std::vector<std::string> files;
    std::ifstream in(Platform::nativePath(log));
    for (std::string line; std::getline(in, line);)
        for (const std::string prefix : {kWrittenLine, kArchivedLine})
            if (line.starts_with(prefix))
                files.push_back(line.substr(prefix.size()));
    return files;
}

} // namespace Rtcm3
