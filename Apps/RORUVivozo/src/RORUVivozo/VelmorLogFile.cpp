// The datagram log file: path with date tokens, directory creation, moving an existing file aside,
// appending datagrams unframed, and handing every closed file on to the conversion.
#include "RORUVivozo/VelmorLogFile.h"

#include "Platform/NativePath.h"
#include "RORUVivozo/VelmorLogFolder.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

struct DateToken
{
    const char* token;
    const char* format;
};

// Table order is replacement order.
constexpr DateToken kDateTokens[] = {
    {"_TOKY_", "%Y"}, {"_TOKM_", "%m"}, {"_TOKD_", "%d"},
    {"_TOKH_", "%H"}, {"_TOKN_", "%M"}, {"_TOKS_", "%S"},
};

// Gives up looking for a free moved-aside name after this many counters.
constexpr int kMaxMoveAsideCounter = 100000;

// Files closed here that are remembered as converted already; enough for names that repeat daily.
constexpr std::size_t kRememberedClosedFiles = 64;

// Writes all bytes, resuming after short writes and interrupts.
bool writeAll(int fd, const unsigned char* bytes, std::size_t count)
{
    while (count > 0)
    {
        const ssize_t done = ::write(fd, bytes, count);
        if (done < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

CVelmorLogFile::FileIdentity identityOf(const struct stat& info)
{
    return {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
            static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
}

} // namespace

std::string expandDateTokens(std::string_view text, std::time_t now)
{
    std::string expanded(text);
    std::tm utc{};
    if (::gmtime_r(&now, &utc) == nullptr)
        return expanded;
    for (const DateToken& date : kDateTokens)
    {
        char field[16];
        std::strftime(field, sizeof field, date.format, &utc);
        const std::string_view token = date.token;
        for (std::size_t at = expanded.find(token); at != std::string::npos; at = expanded.find(token))
            expanded.replace(at, token.size(), field);
    }
    return expanded;
}

std::string expandDateTokens(std::string_view text)
{
    return expandDateTokens(text, std::time(nullptr));
}

bool holdsParentComponent(std::string_view path)
{
    std::size_t start = 0;
    while (start <= path.size())
    {
        std::size_t end = path.find_first_of(":\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        if (path.substr(start, end - start) == "..")
            return true;
        start = end + 1;
    }
    return false;
}

std::string movedAsideSuffix(std::time_t now)
{
    std::tm local{};
    char suffix[32];
    if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &local) == nullptr ||
        std::strftime(suffix, sizeof suffix, "_%y%m%d%H%M%S", &local) == 0)
        return "0000000000";
    return suffix;
}

std::string movedAsideName(std::string_view path, std::string_view suffix, int counter)
{
    std::string tag(suffix);
    if (counter > 0)
        tag += "_" + std::to_string(counter);

    // Only the file name takes the suffix: a directory's name may hold ".rtcm" too.
    std::string name;
    const std::size_t separator = path.find_last_of(":\\/");
    const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    const std::size_t extension = path.find(kLogFileExtension, nameStart);
    if (extension != std::string_view::npos)
    {
        name.append(path.substr(0, extension)).append(tag);
        name.append(path.substr(extension + kLogFileExtension.size())).append(kLogFileExtension);
        return name;
    }
    // No ".rtcm" to put the suffix in place of: put it before the file name's last extension, so the
    // existing file is still kept under a name of its own.
    const std::size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > nameStart)
        return name.append(path.substr(0, dot)).append(tag).append(path.substr(dot));
    return name.append(path).append(tag);
}

CVelmorLogFile::CVelmorLogFile(Report report, Convert convert, WriteFailed writeFailed, Follow follow)
    : m_report(std::move(report)), m_convert(std::move(convert)), m_writeFailed(std::move(writeFailed)),
      m_follow(std::move(follow))
{
}

CVelmorLogFile::~CVelmorLogFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CVelmorLogFile::report(const char* format, ...)
{
    if (!m_report)
        return;
    va_list args;
    va_start(args, format);
    char line[2048];
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    m_report(line);
}

bool CVelmorLogFile::openLogFile(const std::string& directory, const std::string& name)
{
    m_path = expandDateTokens(directory + "\\" + name);
    if (const char* refusal = logFilePathRefusal(m_path))
    {
        reportRefusal(refusal);
        return false;
    }
    return openPath();
}

void CVelmorLogFile::reportRefusal(const char* why)
{
    report("\n\tError: %s refused:\n\t       '%s'", why, m_path.c_str());
}

bool CVelmorLogFile::openPath()
{
    const std::size_t separator = m_path.find_last_of(":\\/");
    LogFolder folder = openLogFolder(m_path.substr(0, separator + 1));
    if (folder.leadsOut)
    {
        reportRefusal("Path leading out of the suite root");
        return false;
    }
    for (const Platform::UniqueFd& changed : folder.changed)
        m_syncer.syncDirectory(changed.get());
    m_directory = std::move(folder.directory);
    // Entering the directory is the existence test; the process then stays in it.
    if (folder.existed)
        (void)!::fchdir(m_directory.get());
    if (!m_directory)
    {
        report("\n\tError: Not able to open file:\n\t       '%s'", m_path.c_str());
        return false;
    }

    // Only a regular file is ever moved aside: never what a symbolic link names, never a directory.
    const std::string name = fileNameOf(m_path);
    const int existing =
        ::openat(m_directory.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (existing < 0 && errno == ELOOP)
    {
        reportRefusal("Path to something other than a regular file");
        return false;
    }
    if (existing >= 0 && (::fstat(existing, &info) != 0 || !S_ISREG(info.st_mode)))
    {
        ::close(existing);
        reportRefusal("Path to something other than a regular file");
        return false;
    }
    if (existing >= 0)
    {
        report("\n\tError: File exists:\n\t       '%s'", m_path.c_str());
        if (::close(existing) != 0)
        {
            report("\n\tWARNING: Not able to close datagram log file:\n\t         %s.", m_path.c_str());
            report("\n\tError: Not able to close old datagram log file:\n\t       '%s'", m_path.c_str());
            return false;
        }
        report("\n\t Closed datagram log file:\n\t %s.", m_path.c_str());
        // The conversion reads its file later, in a process of its own: it gets the file where it stays,
        // after the move, and only if no close here has handed it over already.
        const bool handedOver = closedHere(m_path, identityOf(info), false);
        std::string movedTo;
        bool followed = false;
        if (!moveAsideLogFile(movedTo, followed))
            return false;
        if (handedOver)
            closedHere(m_path, identityOf(info), true);
        else if (!followed)
            handOver(movedTo, 0);
    }
    return openForWriting(name);
}

bool CVelmorLogFile::openForWriting(const std::string& name)
{
    // Exclusive: whatever took the name since the test above stays untouched.
    const int fd = ::openat(m_directory.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        report("\n\tError: Not able to open file:\n\t       '%s'", m_path.c_str());
        return false;
    }
    m_syncer.syncDirectory(m_directory.get());
    m_syncer.follow(fd);
    struct stat info;
    m_identity = ::fstat(fd, &info) == 0 ? std::optional(std::pair(info.st_dev, info.st_ino)) : std::nullopt;
    m_nativePath = Platform::nativePath(m_path);
    m_fd = fd;
    m_failed = false;
    m_written = 0;
    m_writeFailures.reset();
    m_opened = std::time(nullptr);
    report("\n\tOpened datagram log file:\n\t%s", m_path.c_str());
    return true;
}

bool CVelmorLogFile::moveAsideLogFile()
{
    std::string target;
    bool followed = false;
    return moveAsideLogFile(target, followed);
}

bool CVelmorLogFile::moveAsideLogFile(std::string& target, bool& followed)
{
    followed = false;
    const std::string suffix = movedAsideSuffix(std::time(nullptr));
    target = movedAsideName(m_path, suffix, 0);
    // The moved-aside name differs only in its file name: the move stays in the directory reached.
    const auto taken = [&]
    {
        struct stat info;
        return ::fstatat(m_directory.get(), fileNameOf(target).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    };
    // Never replace an earlier moved-aside file: two moves within one second get a counter.
    for (int counter = 1; taken() && counter <= kMaxMoveAsideCounter; ++counter)
        target = movedAsideName(m_path, suffix, counter);

    int error = m_directory ? 0 : EBADF;
    const auto move = [&]
    {
        if (::renameat(m_directory.get(), fileNameOf(m_path).c_str(), m_directory.get(),
                       fileNameOf(target).c_str()) != 0)
            error = errno;
        return error == 0;
    };
    if (error == 0)
        followed = m_follow ? m_follow(m_path, target, move) : (move(), false);
    if (error == 0)
    {
        m_syncer.syncDirectory(m_directory.get());
        report("\n\tRenamed existing datagram log file:\n\t       %s to\n\t       %s.", m_path.c_str(),
               target.c_str());
        return true;
    }
    report("\n\tERROR: %i. Could not rename existing datagram log file:\n\t       %s to\n\t       %s.", error,
           m_path.c_str(), target.c_str());
    return false;
}

void CVelmorLogFile::writeDatagram(const unsigned char* bytes, std::size_t count)
{
    if (bytes == nullptr || count == 0)
        return;
    // A file removed or replaced under the logger would take the datagram where nobody looks.
    if (m_fd >= 0 && goneFromPath())
        reopen();
    if (m_fd < 0)
    {
        report("\n\tERROR: Datagram log file not open:\n\t       %s.", m_path.c_str());
        return;
    }
    // Unbuffered on purpose: every datagram is in the file when the job ends.
    if (!writeAll(m_fd, bytes, count))
    {
        // Cut a torn datagram off again so the file stays a clean RTCM stream.
        if (::ftruncate(m_fd, m_written) == 0)
            ::lseek(m_fd, m_written, SEEK_SET);
        reportWriteFailure();
        return;
    }
    m_written += static_cast<long long>(count);
    m_syncer.written();
}

bool CVelmorLogFile::goneFromPath() const
{
    struct stat info;
    if (::stat(m_nativePath.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    return m_identity && *m_identity != std::pair(info.st_dev, info.st_ino);
}

void CVelmorLogFile::reopen()
{
    report("\n\tERROR: Datagram log file removed or replaced while open:\n\t       %s.", m_path.c_str());
    // What was written to it is out of reach: nothing to hand to the conversion.
    m_syncer.forget();
    ::close(m_fd);
    m_fd = -1;
    openPath();
}

void CVelmorLogFile::reportWriteFailure()
{
    if (!m_writeFailures.count())
        return;
    report("\n\tERROR: Writing to datagram log file:\n\t       %s.", m_path.c_str());
    if (m_writeFailed)
        m_writeFailed(m_path);
}

bool CVelmorLogFile::closeLogFile()
{
    if (m_fd < 0)
        return true;
    struct stat info;
    const bool known = ::fstat(m_fd, &info) == 0;
    // On disk before anyone reads it; a file system that cannot sync (EINVAL) has nothing to lose.
    m_syncer.forget();
    if (::fdatasync(m_fd) != 0 && errno != EINVAL)
        m_failed = true;
    if (::close(m_fd) != 0)
        m_failed = true;
    m_fd = -1;
    if (known)
        rememberClosedFile(m_path, identityOf(info));
    handOver(m_path, m_opened);
    if (m_failed)
    {
        m_failed = false;
        return false;
    }
    return true;
}

void CVelmorLogFile::handOver(const std::string& path, std::time_t opened)
{
    if (m_convert)
        m_convert(path, opened);
}

void CVelmorLogFile::rememberClosedFile(const std::string& path, const FileIdentity& identity)
{
    closedHere(path, identity, true);
    if (m_closedFiles.size() >= kRememberedClosedFiles)
        m_closedFiles.erase(m_closedFiles.begin());
    m_closedFiles.push_back({path, identity});
}

bool CVelmorLogFile::closedHere(const std::string& path, const FileIdentity& identity, bool forget)
{
    for (auto file = m_closedFiles.begin(); file != m_closedFiles.end(); ++file)
    {
        if (file->path == path && file->identity == identity)
        {
            if (forget)
                m_closedFiles.erase(file);
            return true;
        }
    }
    return false;
}
