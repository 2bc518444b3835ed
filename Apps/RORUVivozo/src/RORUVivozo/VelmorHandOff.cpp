// The hand-off point: what afterrinex is given, and its start.
#include "RORUVivozo/VelmorHandOff.h"

#include "FileQuality/QualityFiles.h"
#include "Platform/NativePath.h"
#include "Platform/UniqueFd.h"

#include <fcntl.h>
#include <filesystem>

std::vector<std::string> handOffFiles(const std::string& logFile, const Rtcm3::MakeRinexReport& made,
                                      const ConversionFiles& files)
{
    std::vector<std::string> paths{Platform::nativePath(logFile)};
    for (const std::string& written : made.written)
        paths.push_back(Platform::nativePath(written));
    if (files.quality)
    {
        const std::string& report = *files.quality;
        paths.push_back(report);
        // Beside the report, under its stem; drawn only where there was something to draw.
        const std::string suffix = FileQuality::kReportSuffix;
        const std::string picture =
            report.substr(0, report.size() - suffix.size()) + FileQuality::kPictureSuffix;
        std::error_code ignored;
        if (report.ends_with(suffix) && std::filesystem::exists(picture, ignored))
            paths.push_back(picture);
    }
    for (const std::string& archived : made.archived)
        paths.push_back(Platform::nativePath(archived));
    return paths;
}

Platform::ProcessGroup startAfterRinex(const std::vector<std::string>& files, int& error)
{
    // Nothing of the logger's own terminal or input reaches it.
    const Platform::UniqueFd nothing(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    std::vector<std::string> argv{kAfterRinexProgram};
    argv.insert(argv.end(), files.begin(), files.end());
    return Platform::startGroupLeader(argv, {nothing.get(), -1, -1}, error);
}
