// One retention pass over the logger's own folders.
#include "RORUVivozo/VelmorRetentionPass.h"

#include "FileQuality/QualityFiles.h"
#include "FileQuality/QualityKeys.h"
#include "Platform/BeneathRoot.h"
#include "Platform/DecimalText.h"
#include "Rtcm3/MakeRinexReport.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <regex>

namespace
{

using std::chrono::system_clock;

// Far more than a quality report takes (its timeline is bounded); a larger file is no report of ours.
constexpr off_t kLargestReport = 16 << 20;
constexpr double kBytesPerMegabyte = 1e6;

// What the conversion may have written besides its quality files: RINEX observation, navigation and
// archive files ("x.08o", "x.08n", "SSSS00XXX_R_..._MO.rnx.gz"), never a log file.
bool isRinexName(const std::string& path)
{
    static const std::regex kRinex(R"(\.([0-9]{2}[a-z]|rnx|crx)(\.(gz|z|bz2|zip))?$)", std::regex::icase);
    return std::regex_search(path, kRinex);
}

// A quality report beside the log files, as far as retention needs it.
struct Report
{
    std::string name;                 // in the folder
    std::string file;                 // the log file it is of, relative
    std::optional<std::string> rinex; // relative
    long long bytes = -1;             // the log file's length
    std::optional<std::string> picture;
    timespec modified{};
};

bool notOlder(const timespec& a, const timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

std::vector<Report> reportsIn(const OwnLogFolder& folder)
{
    std::vector<Report> reports;
    const std::string suffix = FileQuality::kReportSuffix;
    for (const std::string& entry : entriesOf(folder.directory.get()))
    {
        if (!entry.ends_with(suffix))
            continue;
        const Platform::UniqueFd fd(
            ::openat(folder.directory.get(), entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat info;
        if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kLargestReport)
            continue;
        QByteArray text(static_cast<int>(info.st_size), '\0');
        if (::read(fd.get(), text.data(), static_cast<std::size_t>(text.size())) != info.st_size)
            continue;
        const QJsonObject json = QJsonDocument::fromJson(text).object();
        const std::optional<std::string> file =
            relativeBelowRoot(json[QualityKeys::kFile].toString().toStdString());
        if (!file)
            continue;
        Report report{entry, *file, std::nullopt, -1, std::nullopt, info.st_mtim};
        if (json[QualityKeys::kRinex].isString())
            report.rinex = relativeBelowRoot(json[QualityKeys::kRinex].toString().toStdString());
        if (json[QualityKeys::kBytes].isDouble())
            report.bytes = static_cast<long long>(json[QualityKeys::kBytes].toDouble());
        const std::string picture = json[QualityKeys::kPicture].toString().toStdString();
        if (!picture.empty() && picture.find_first_of("/\\:") == std::string::npos && picture != "..")
            report.picture = picture;
        reports.push_back(std::move(report));
    }
    return reports;
}

// The report of this very file: it names the file (or the name it had before it was moved aside), its
// length, and was written after the file's last change. A report of an earlier file of the same name
// is not, so a file written since is never taken for converted.
const Report* reportOf(const std::vector<Report>& reports, const std::string& relative,
                       const std::string& unmoved, const struct stat& info)
{
    const Report* found = nullptr;
    for (const Report& report : reports)
        if ((report.file == relative || report.file == unmoved) && report.bytes == info.st_size &&
            notOlder(report.modified, info.st_mtim) && (!found || notOlder(report.modified, found->modified)))
            found = &report;
    return found;
}

std::pair<std::string, std::string> splitLast(const std::string& relative)
{
    const std::size_t slash = relative.find_last_of('/');
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

class Pass
{
public:
    Pass(const RetentionRequest& request, const std::function<void(const std::string&)>& report)
        : m_request(request), m_report(report), m_root(Platform::openSuiteRoot())
    {
        for (const std::string& path : request.inUse)
            if (const std::optional<std::string> relative = relativeBelowRoot(path))
                m_inUse.push_back(*relative);
        m_summary.ran = request.now;
        m_summary.days = request.days;
    }

    void folder(const OwnLogFolder& folder, const CLogFilePattern& pattern, const std::atomic<bool>& stop);
    RetentionSummary finish();

private:
    void logFile(const OwnLogFolder& folder, const std::string& name, const std::string& unmoved,
                 const struct stat& info, std::optional<std::vector<Report>>& reports);
    void keep(const std::string& relative, long long days, const std::string& why);
    // Deletes a regular file below the suite root, never through a symbolic link in its own place; one
    // trace line. A file that is not there is no failure.
    void remove(int directory, const std::string& name, const std::string& relative, const std::string& of);
    bool regularFile(const std::string& relative) const;
    void line(const std::string& text) const
    {
        if (m_report)
            m_report(text);
    }

    const RetentionRequest& m_request;
    const std::function<void(const std::string&)>& m_report;
    const Platform::UniqueFd m_root;
    std::vector<std::string> m_inUse; // relative
    RetentionSummary m_summary;
};

void Pass::folder(const OwnLogFolder& folder, const CLogFilePattern& pattern, const std::atomic<bool>& stop)
{
    std::optional<std::vector<Report>> reports; // read once a file is old enough to need them
    for (const std::string& name : folder.logFiles)
    {
        if (stop)
            return;
        struct stat info;
        if (::fstatat(folder.directory.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        logFile(folder, name, folder.relative + "/" + pattern.unmovedName(name), info, reports);
    }
}

void Pass::logFile(const OwnLogFolder& folder, const std::string& name, const std::string& unmoved,
                   const struct stat& info, std::optional<std::vector<Report>>& reports)
{
    const auto age = m_request.now - system_clock::from_time_t(info.st_mtim.tv_sec);
    if (age <= std::chrono::days(m_request.days))
        return;
    const long long days = std::chrono::duration_cast<std::chrono::days>(age).count();
    const std::string relative = folder.relative + "/" + name;
    if (std::ranges::find(m_inUse, relative) != m_inUse.end())
        return keep(relative, days, "open, or waiting for or in its conversion");
    if (!reports)
        reports = reportsIn(folder);
    const Report* report = reportOf(*reports, relative, unmoved, info);
    if (report == nullptr)
        return keep(relative, days, "not converted: no quality report names it");
    if (!report->rinex || !isRinexName(*report->rinex))
        return keep(relative, days, "not converted: its quality report names no RINEX file");
    if (!regularFile(*report->rinex))
        return keep(relative, days, "its RINEX file " + writtenForm(*report->rinex) + " is not there");

    const std::size_t deletedBefore = m_summary.deletedFiles;
    remove(folder.directory.get(), name, relative, std::to_string(days) + " days old");
    if (m_summary.deletedFiles == deletedBefore)
        return;
    ++m_summary.deletedLogFiles;
    // What the conversion wrote: the RINEX file, navigation files of its stem, what its .log says it
    // wrote (archive copies among them), the .log; then the picture and the report itself.
    const std::string stem = report->rinex->substr(0, report->rinex->find_last_of('.'));
    const std::string extension = report->rinex->substr(stem.size());
    std::vector<std::string> products{*report->rinex};
    for (const char navigation : {'n', 'g'})
        products.push_back(stem + extension.substr(0, extension.size() - 1) + navigation);
    const Rtcm3::MakeRinexReport made = Rtcm3::readMakeRinexLog(writtenForm(stem + ".log"));
    for (const std::vector<std::string>* list : {&made.written, &made.archived})
        for (const std::string& written : *list)
            if (const std::optional<std::string> product = relativeBelowRoot(written);
                product && isRinexName(*product))
                products.push_back(*product);
    products.push_back(stem + ".log");
    if (report->picture)
        products.push_back(folder.relative + "/" + *report->picture);
    const std::string of = "of " + name;
    for (std::size_t i = 0; i < products.size(); ++i)
    {
        if (std::find(products.begin(), products.begin() + static_cast<long>(i), products[i]) !=
            products.begin() + static_cast<long>(i))
            continue;
        const auto [productFolder, productName] = splitLast(products[i]);
        const Platform::UniqueFd directory =
            Platform::openBeneath(m_root.get(), productFolder, O_RDONLY | O_DIRECTORY);
        if (directory)
            remove(directory.get(), productName, products[i], of);
    }
    remove(folder.directory.get(), report->name, folder.relative + "/" + report->name, of);
}

void Pass::keep(const std::string& relative, long long days, const std::string& why)
{
    ++m_summary.kept;
    line("\n\tInfo: Retention: kept " + writtenForm(relative) + ", " + std::to_string(days) +
         " days old: " + why + ".");
}

void Pass::remove(int directory, const std::string& name, const std::string& relative, const std::string& of)
{
    struct stat info;
    if (::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
        return;
    if (::unlinkat(directory, name.c_str(), 0) != 0)
    {
        line("\n\tWARNING: Retention: not able to delete " + writtenForm(relative) + ": " +
             std::strerror(errno) + ".");
        return;
    }
    ++m_summary.deletedFiles;
    m_summary.deletedBytes += static_cast<std::uint64_t>(info.st_size);
    line("\n\tInfo: Retention: deleted " + writtenForm(relative) + " (" + of + ").");
}

bool Pass::regularFile(const std::string& relative) const
{
    const auto [folder, name] = splitLast(relative);
    const Platform::UniqueFd directory = Platform::openBeneath(m_root.get(), folder, O_RDONLY | O_DIRECTORY);
    struct stat info;
    return directory && ::fstatat(directory.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode);
}

RetentionSummary Pass::finish()
{
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.1f MB",
                  static_cast<double>(m_summary.deletedBytes) / kBytesPerMegabyte);
    line("\n\tInfo: Retention of log files older than " + std::to_string(m_summary.days) + " days: deleted " +
         Platform::counted(m_summary.deletedFiles, "file") + " of " +
         Platform::counted(m_summary.deletedLogFiles, "log file") + " (" + megabytes + "), kept " +
         Platform::counted(m_summary.kept, "older log file") + ".");
    return m_summary;
}

} // namespace

RetentionSummary deleteOldLogFiles(const CLogFilePattern& pattern, const RetentionRequest& request,
                                   const std::function<void(const std::string& line)>& report,
                                   const std::atomic<bool>& stop)
{
    Pass pass(request, report);
    pattern.forEachFolder(
        [&](const OwnLogFolder& folder)
        {
            pass.folder(folder, pattern, stop);
            return !stop;
        });
    return pass.finish();
}
