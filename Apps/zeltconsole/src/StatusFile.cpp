// Reads the status files of the logger and the bridges: whole, never through a link, never unbounded.
#include "StatusFile.h"

#include "Platform/UniqueFd.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <QJsonDocument>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace
{

// Far above what the logger or a bridge writes; a larger file is not what it claims to be.
constexpr std::size_t kStatusFileLimit = 1 << 20;

} // namespace

bool readAtMost(int fd, std::size_t limit, std::string& body)
{
    body.clear();
    char buffer[65536];
    for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) != 0;)
    {
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 || body.size() + static_cast<std::size_t>(count) > limit)
            return false;
        body.append(buffer, static_cast<std::size_t>(count));
    }
    return true;
}

StatusFile readStatusFile(const std::string& path, const StatusFileKind& kind)
{
    StatusFile file;
    const std::string noun = kind.noun;
    const Platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status
    {
    };
    if (!fd)
        file.problem = errno == ENOENT ? "no " + noun + " at " + path + ": " + kind.writer +
                                             " is not running, or writes it elsewhere"
                       : errno == ELOOP
                           ? "the " + noun + " at " + path + " is a symbolic link: not followed"
                           : "cannot read the " + noun + " at " + path + ": " + std::strerror(errno);
    else if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        file.problem = "the " + noun + " at " + path + " is not a regular file";
    else if (!readAtMost(fd.get(), kStatusFileLimit, file.bytes))
        file.problem = "cannot read the " + noun + " at " + path + " (more than 1 MiB, or a read failed)";
    if (!file.problem.empty())
        return file;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(file.bytes));
    if (!document.isObject())
        file.problem = "the " + noun + " at " + path + " is not a JSON object";
    file.object = document.object();
    return file;
}

StatusFile readBridgeStatus(const std::string& path, double nowUnix)
{
    StatusFile file = readStatusFile(path, kBridgeStatus);
    const double age = nowUnix - file.object.value(StatusSnapshot::kWrittenUnix).toDouble();
    if (file.problem.empty() && age > StatusSnapshot::kStaleAfterSeconds)
        file.problem = "the bridge status at " + path + " is " + std::to_string(std::lround(age)) +
                       " s old: the bridge is not running, or is stuck";
    return file;
}

double unixNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}
