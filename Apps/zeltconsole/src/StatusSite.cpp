// What the status page's server answers for each path. Reports and pictures are served only when the
// snapshot lists them and they lie below the log folder, reached without a link that leads out of it.
#include "StatusSite.h"

#include "StatusPage.h"

#include "FileQuality/QualityFiles.h"
#include "FileQuality/QualityKeys.h"
#include "Platform/BeneathRoot.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#include <charconv>
#include <filesystem>
#include <optional>

namespace
{

namespace Key = StatusSnapshot;

constexpr std::string_view kFilesPrefix = "/files/";
// The names the logger's conversion gives a quality report, its picture and the report's key for it.
constexpr std::string_view kReportSuffix = FileQuality::kReportSuffix;
constexpr std::string_view kPictureSuffix = FileQuality::kPictureSuffix;
constexpr const char* kReportPicture = QualityKeys::kPicture;
// What files.json adds to each entry of the snapshot's recent files.
constexpr char kReport[] = "report";
constexpr char kReportUrl[] = "report_url";
constexpr char kPictureUrl[] = "picture_url";
constexpr char kProblem[] = "problem";

// Far above what the logger's conversion writes; a larger file is not what it claims to be.
constexpr std::size_t kReportLimit = 16 << 20;
constexpr std::size_t kPictureLimit = 32 << 20;

constexpr char kJson[] = "application/json";
constexpr char kText[] = "text/plain; charset=utf-8";

SiteAnswer plain(unsigned status, const std::string& text)
{
    return {status, kText, text + "\n"};
}

SiteAnswer problemJson(const std::string& problem)
{
    const QJsonObject body{{kProblem, QString::fromStdString(problem)}};
    return {503, kJson, QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString()};
}

bool endsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::string pictureOf(const std::string& report)
{
    return report.substr(0, report.size() - kReportSuffix.size()) + std::string(kPictureSuffix);
}

std::string urlOf(const std::string& relative)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string url(kFilesPrefix);
    for (unsigned char c : relative)
    {
        if (std::isalnum(c) || std::strchr("-._~/", c) != nullptr)
            url += static_cast<char>(c);
        else
            url += {'%', kHex[c >> 4], kHex[c & 15]};
    }
    return url;
}

// Percent escapes undone; nothing for a broken escape or a NUL byte.
std::optional<std::string> decoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            out += text[i];
            continue;
        }
        unsigned value = 0;
        const char* first = text.data() + i + 1;
        const char* last = text.data() + std::min(text.size(), i + 3);
        const auto [end, error] = std::from_chars(first, last, value, 16);
        if (error != std::errc() || end != last || last - first != 2 || value == 0)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

} // namespace

StatusSite::StatusSite(std::string snapshotPath, std::string logFolder, std::vector<std::string> bridgePaths)
    : m_snapshotPath(std::move(snapshotPath)), m_bridgePaths(std::move(bridgePaths))
{
    if (logFolder.empty())
    {
        m_logFolderProblem = "no log folder given (--logs DIR, or ZELT_ROOT): no report or picture is served";
        return;
    }
    std::filesystem::path folder = std::filesystem::absolute(logFolder).lexically_normal();
    m_logFolder = folder.string();
    if (m_logFolder.size() > 1 && m_logFolder.back() == '/')
        m_logFolder.pop_back();
    m_logFolderFd.reset(::open(m_logFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_logFolderFd)
        m_logFolderProblem = "cannot open the log folder " + m_logFolder + ": " + std::strerror(errno) +
                             ": no report or picture is served";
}

SiteAnswer StatusSite::answer(std::string_view target) const
{
    const std::string_view path = target.substr(0, target.find('?'));
    if (path == "/" || path == "/index.html")
        return {200, "text/html; charset=utf-8", std::string(kStatusPage)};
    if (path == "/status.json")
        return snapshot();
    if (path == "/files.json")
        return files();
    if (path == "/bridges.json")
        return bridges();
    if (path.substr(0, kFilesPrefix.size()) == kFilesPrefix)
    {
        if (const std::optional<std::string> relative = decoded(path.substr(kFilesPrefix.size())))
            return listedFile(*relative);
    }
    return plain(404, "nothing here; the status page is /");
}

StatusFile StatusSite::readSnapshot() const
{
    return readStatusFile(m_snapshotPath, kLoggerSnapshot);
}

SiteAnswer StatusSite::snapshot() const
{
    StatusFile read = readSnapshot();
    return read.problem.empty() ? SiteAnswer{200, kJson, std::move(read.bytes)} : problemJson(read.problem);
}

std::string StatusSite::belowLogFolder(const QJsonValue& listed) const
{
    const std::string path = listed.toString().toStdString();
    const std::string folder = m_logFolder == "/" ? "" : m_logFolder;
    // Only a plain absolute name: no "..", "." or empty step that the prefix test could be fooled by.
    if (!m_logFolderFd || !endsWith(path, kReportSuffix) ||
        path.compare(0, folder.size() + 1, folder + "/") != 0 ||
        std::filesystem::path(path).lexically_normal().string() != path)
        return {};
    return path.substr(folder.size() + 1);
}

unsigned StatusSite::readBelow(const std::string& relative, std::size_t limit, std::string& body) const
{
    const std::string shown = m_logFolder + (m_logFolder == "/" ? "" : "/") + relative;
    const Platform::UniqueFd fd =
        Platform::openBeneath(m_logFolderFd.get(), relative, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    struct stat status
    {
    };
    if (!fd && errno == ENOENT)
        body = "no file " + shown;
    else if (!fd && (errno == EXDEV || errno == ELOOP))
        body = shown + " leads outside the log folder " + m_logFolder + ": not served";
    else if (!fd)
        body = "cannot read " + shown + ": " + std::strerror(errno);
    else if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        body = shown + " is not a regular file: not served";
    else if (!readAtMost(fd.get(), limit, body))
        body = "cannot read " + shown + " (larger than it may be, or a read failed)";
    else
        return 200;
    return !fd && errno == ENOENT ? 404 : 403;
}

QJsonObject StatusSite::withReport(QJsonObject entry) const
{
    const QJsonValue listed = entry[Key::kQuality];
    const std::string relative = belowLogFolder(listed);
    const std::string shown = listed.toString().toStdString();
    std::string body;
    QJsonObject report;
    std::string problem;
    if (!listed.isString())
        ; // no report: the file did not convert
    else if (relative.empty())
        problem = !m_logFolderProblem.empty()
                      ? m_logFolderProblem
                      : shown + " is no quality report below the log folder " + m_logFolder + ": not served";
    else if (readBelow(relative, kReportLimit, body) != 200)
        problem = body;
    else if (report = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object(); report.isEmpty())
        problem = "the quality report " + shown + " is empty or not a JSON object";
    entry.insert(kProblem, problem.empty() ? QJsonValue() : QString::fromStdString(problem));
    if (report.isEmpty())
        return entry;
    entry.insert(kReport, report);
    entry.insert(kReportUrl, QString::fromStdString(urlOf(relative)));
    const std::string picture = pictureOf(relative);
    if (report[kReportPicture].toString().toStdString() == std::filesystem::path(picture).filename().string())
        entry.insert(kPictureUrl, QString::fromStdString(urlOf(picture)));
    return entry;
}

// Every bridge's status as it wrote it, with the problem that watch says of it (or null).
SiteAnswer StatusSite::bridges() const
{
    const double nowUnix = unixNow();
    QJsonArray bridges;
    for (const std::string& path : m_bridgePaths)
    {
        StatusFile read = readBridgeStatus(path, nowUnix);
        read.object.insert(kProblem,
                           read.problem.empty() ? QJsonValue() : QString::fromStdString(read.problem));
        bridges.append(read.object);
    }
    return {200, kJson,
            QJsonDocument(QJsonObject{{"bridges", bridges}}).toJson(QJsonDocument::Compact).toStdString()};
}

SiteAnswer StatusSite::files() const
{
    const StatusFile read = readSnapshot();
    if (!read.problem.empty())
        return problemJson(read.problem);
    QJsonArray files;
    for (const QJsonValue& entry : read.object[Key::kConversions][Key::kRecent].toArray())
        files.append(withReport(entry.toObject()));
    return {200, kJson,
            QJsonDocument(QJsonObject{{"files", files}}).toJson(QJsonDocument::Compact).toStdString()};
}

SiteAnswer StatusSite::listedFile(const std::string& relative) const
{
    const StatusFile read = readSnapshot();
    for (const QJsonValue& value : read.object[Key::kConversions][Key::kRecent].toArray())
    {
        const std::string report = belowLogFolder(value[Key::kQuality]);
        if (report.empty() || (relative != report && relative != pictureOf(report)))
            continue;
        const bool isPicture = relative != report;
        std::string body;
        const unsigned status = readBelow(relative, isPicture ? kPictureLimit : kReportLimit, body);
        if (status != 200)
            return plain(status, body);
        return {status, isPicture ? "image/png" : kJson, std::move(body)};
    }
    return plain(404, "the status snapshot lists no such file");
}
