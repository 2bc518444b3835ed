// Which RINEX observation file a finished "makerinex.bat" wrote for a log file.
#include "Rtcm3/MakeRinexLauncher.h"

#include "Platform/NativePath.h"

#include <filesystem>
#include <fstream>

namespace Rtcm3
{

namespace
{

constexpr int kMostCounters = 9999;   // the script's own limit
constexpr int kMostHeaderLines = 500; // a RINEX header is far shorter
constexpr std::size_t kCommentLabelColumn = 60;
constexpr std::size_t kLogCommentLength = 55; // "log: " and the path's first 55 characters
constexpr char kLogComment[] = "log: ";

bool exists(const std::string& written)
{
    std::error_code ignored;
    return std::filesystem::exists(Platform::nativePath(written), ignored);
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

std::optional<std::string> writtenRinexFile(const std::string& logFilePath, const std::string& rinexName)
{
    const std::size_t dot = rinexName.find_last_of('.');
    const std::string stem = rinexName.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : rinexName.substr(dot);
    std::optional<std::string> written;
    // Each conversion reserves the ".log" of the first free stem; the last that names the log file is ours.
    for (int counter = 0; counter <= kMostCounters; ++counter)
    {
        const std::string candidate = counter == 0 ? stem : stem + "_" + std::to_string(counter);
        if (!exists(candidate + ".log"))
            break;
        if (namesLogFile(candidate + extension, logFilePath))
            written = candidate + extension;
    }
    // A script of the operator's own may name no log file: the name it was given.
    if (!written && exists(rinexName))
        written = rinexName;
    return written;
}

} // namespace Rtcm3
