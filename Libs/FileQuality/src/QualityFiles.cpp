// The quality report and picture of a converted log file, written beside its RINEX file.
#include "FileQuality/QualityFiles.h"

#include "FileQuality/QualityPicture.h"
#include "FileQuality/QualityReport.h"
#include "Platform/NativePath.h"
#include "Platform/ReplaceFile.h"

#include <fmt/format.h>

#include <cstring>
#include <filesystem>

namespace FileQuality
{

namespace
{

std::string fileName(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

} // namespace

std::string besideAs(const std::string& path, const char* suffix)
{
    const std::size_t nameStart = path.size() - fileName(path).size();
    const std::size_t dot = path.find_last_of('.');
    const std::size_t stemEnd = dot != std::string::npos && dot > nameStart ? dot : path.size();
    return path.substr(0, stemEnd) + suffix;
}

QualityWritten writeQualityFiles(const std::string& logFile, const std::optional<std::string>& rinex,
                                 Rtcm3::QualityFigures figures, std::chrono::milliseconds pictureLimit)
{
    const std::string& beside = rinex ? *rinex : logFile;
    const QualityReport report = summarize(std::move(figures));
    QualityWritten written{std::nullopt, report.summary, std::nullopt};
    ReportNames names{logFile, rinex, std::nullopt, std::nullopt};

    std::string why;
    const std::optional<std::string> script = pictureScript(report, why);
    const std::string picture = besideAs(beside, kPictureSuffix);
    if (script && pictureLimit <= std::chrono::milliseconds::zero())
        why = "no time was left to draw it";
    else if (script && drawPicture(*script, Platform::nativePath(picture), pictureLimit, why))
        names.picture = fileName(picture);
    if (!names.picture)
    {
        names.whyNoPicture = why;
        if (script)
            written.problem = "no picture: " + why;
    }

    const std::string path = Platform::nativePath(besideAs(beside, kReportSuffix));
    if (const int error = Platform::replaceFile(path, reportJson(report, names)); error != 0)
    {
        written.problem = fmt::format("can not write {}: {}", path, std::strerror(error));
        return written;
    }
    std::error_code ignored;
    written.report = std::filesystem::absolute(path, ignored).lexically_normal().string();
    return written;
}

} // namespace FileQuality
