// The log sink: opens a datagram log file, appends datagrams unframed, moves an existing file aside,
// closes the file and hands every file once to the conversion.
#include "RORUVivozo/VelmorLogSink.h"

#include "Platform/NativePath.h"
#include "Platform/WriteAll.h"
#include "RORUVivozo/VelmorLogFolder.h"
#include "RORUVivozo/VelmorOpenFileNote.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

// Gives up looking for a free moved-aside name after this many counters.
constexpr int kMaxMoveAsideCounter = 100000;

// Files closed here that are remembered as converted already; enough for names that repeat daily.
constexpr std::size_t kRememberedClosedFiles = 64;

CLogSink::FileIdentity identityOf(const struct stat& info)
{
    return {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
            static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
}

} // namespace

CLogSink::CLogSink(Report report, std::chrono::seconds timeLimit, CVelmorConversion::ContextOf contextOf,
                   WriteFailed writeFailed, CLoggerStatus* status, CVelmorConversion::Converter converter,
                   std::string notePath, CVelmorConversion::ArchiveFailed archiveFailed)
    : m_report(report), m_writeFailed(std::move(writeFailed)), m_status(status),
      m_notePath(std::move(notePath)), m_syncer([this](const std::string& path, int error, bool closing)
                                                { reportSyncFailure(path, error, closing); }),
      m_conversion(timeLimit, std::move(report), std::move(contextOf), std::move(converter), status,
                   std::move(archiveFailed))
{
}

CLogSink::~CLogSink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CLogSink::report(const char* format, ...)
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

bool CLogSink::openLogFile(const std::string& directory, const std::string& name)
{
    m_path = expandDateTokens(directory + "\\" + name);
    if (const char* refusal = logFilePathRefusal(m_path))
    {
        reportRefusal(refusal);
        return false;
    }
    return openPath();
}

void CLogSink::reportRefusal(const char* why)
{
    report("\n\tError: %s refused:\n\t       '%s'", why, m_path.c_str());
}

bool CLogSink::openPath()
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

bool CLogSink::openForWriting(const std::string& name)
{
    // Exclusive: whatever took the name since the test above stays untouched.
    const int fd = ::openat(m_directory.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        report("\n\tError: Not able to open file:\n\t       '%s'", m_path.c_str());
        return false;
    }
    m_opened = std::time(nullptr);
    m_syncer.syncDirectory(m_directory.get());
    m_syncer.then(
        [this, note = OpenFileNote{m_path, m_opened}]
        {
            m_syncFailures.reset();
            if (!m_notePath.empty())
                reportNoteFailure("write", writeOpenFileNote(m_notePath, note));
        });
    m_syncer.follow(fd, m_path);
    struct stat info;
    m_identity = ::fstat(fd, &info) == 0 ? std::optional(std::pair(info.st_dev, info.st_ino)) : std::nullopt;
    m_nativePath = Platform::nativePath(m_path);
    m_fd = fd;
    m_written = 0;
    m_writeFailures.reset();
    if (m_status)
        m_status->fileOpened(m_path);
    report("\n\tOpened datagram log file:\n\t%s", m_path.c_str());
    return true;
}

bool CLogSink::moveAsideLogFile(std::string& target, bool& followed)
{
    followed = false;
    const std::string suffix = movedAsideSuffix(std::time(nullptr));
    // The suffix makes the name longer: a name that was just within the file system's limit is shortened.
    const long nameMax = ::fpathconf(m_directory.get(), _PC_NAME_MAX);
    const std::size_t nameLimit = nameMax > 0 ? static_cast<std::size_t>(nameMax) : NAME_MAX;
    target = movedAsideName(m_path, suffix, 0, nameLimit);
    // The moved-aside name differs only in its file name: the move stays in the directory reached.
    const auto taken = [&]
    {
        struct stat info;
        return ::fstatat(m_directory.get(), fileNameOf(target).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    };
    // Never replace an earlier moved-aside file: two moves within one second get a counter.
    for (int counter = 1; taken() && counter <= kMaxMoveAsideCounter; ++counter)
        target = movedAsideName(m_path, suffix, counter, nameLimit);

    int error = m_directory ? 0 : EBADF;
    const auto move = [&]
    {
        if (::renameat(m_directory.get(), fileNameOf(m_path).c_str(), m_directory.get(),
                       fileNameOf(target).c_str()) != 0)
            error = errno;
        return error == 0;
    };
    if (error == 0)
        followed = m_conversion.follow(m_path, target, move);
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

bool CLogSink::writeDatagram(const unsigned char* bytes, std::size_t count)
{
    if (bytes == nullptr || count == 0)
        return false;
    // A file removed or replaced under the logger would take the datagram where nobody looks.
    if (m_fd >= 0 && goneFromPath())
        reopen();
    if (m_fd < 0)
    {
        report("\n\tERROR: Datagram log file not open:\n\t       %s.", m_path.c_str());
        return false;
    }
    // Unbuffered on purpose: every datagram is in the file when the job ends.
    if (!Platform::writeAll(m_fd, bytes, count))
    {
        // Cut a torn datagram off again so the file stays a clean RTCM stream.
        if (::ftruncate(m_fd, m_written) == 0)
            ::lseek(m_fd, m_written, SEEK_SET);
        reportWriteFailure();
        return false;
    }
    m_written += static_cast<long long>(count);
    m_syncer.written();
    if (m_status)
        m_status->datagramWritten(count);
    return true;
}

bool CLogSink::goneFromPath() const
{
    struct stat info;
    if (::stat(m_nativePath.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    return m_identity && *m_identity != std::pair(info.st_dev, info.st_ino);
}

void CLogSink::reopen()
{
    report("\n\tERROR: Datagram log file removed or replaced while open:\n\t       %s.", m_path.c_str());
    // What was written to it is out of reach: nothing to hand to the conversion.
    m_syncer.forget();
    ::close(m_fd);
    m_fd = -1;
    removeNote();
    if (m_status)
        m_status->fileClosed();
    openPath();
}

void CLogSink::reportWriteFailure()
{
    if (!m_writeFailures.count())
        return;
    report("\n\tERROR: Writing to datagram log file:\n\t       %s.", m_path.c_str());
    if (m_writeFailed)
        m_writeFailed(m_path);
}

void CLogSink::closeLogFile()
{
    if (m_fd < 0)
        return;
    struct stat info;
    const bool known = ::fstat(m_fd, &info) == 0;
    // On disk before anyone reads it, but a slow disk holds up no datagram: the syncer forces it there and
    // closes it, and its conversion waits for that.
    m_syncer.forget();
    std::shared_future<bool> onDisk = m_syncer.close(Platform::UniqueFd(std::exchange(m_fd, -1)), m_path);
    removeNote();
    if (m_status)
        m_status->fileClosed();
    if (known)
        rememberClosedFile(m_path, identityOf(info));
    handOver(m_path, m_opened, std::move(onDisk));
}

void CLogSink::rotate()
{
    closeLogFile();
    report("\n\t Closed datagram log file:\n\t %s.", m_path.c_str());
}

void CLogSink::stop()
{
    if (isOpen())
        rotate();
    m_conversion.finish();
}

void CLogSink::convertFileLeftOpen()
{
    const std::optional<OpenFileNote> left = m_notePath.empty() ? std::nullopt : readOpenFileNote(m_notePath);
    if (!left)
        return;
    report("\n\tWARNING: Datagram log file left open by a run that ended without closing it:\n\t         %s.",
           left->path.c_str());
    // A planted note names no file outside the logger's own.
    struct stat info;
    const bool present = ::lstat(Platform::nativePath(left->path).c_str(), &info) == 0;
    if (const char* refusal = logFilePathRefusal(left->path))
        report("\n\tError: %s refused:\n\t       '%s'", refusal, left->path.c_str());
    else if (present && !S_ISREG(info.st_mode))
        report("\n\tError: Path to something other than a regular file refused:\n\t       '%s'",
               left->path.c_str());
    else
    {
        // Once: the next open that finds it unchanged only moves it aside. A file that is gone is named by
        // the conversion as not converted.
        if (present)
            rememberClosedFile(left->path, identityOf(info));
        handOver(left->path, left->opened);
    }
    removeNote();
}

void CLogSink::handOver(const std::string& path, std::time_t opened, std::shared_future<bool> onDisk)
{
    m_conversion.convert(path, opened, std::move(onDisk));
}

void CLogSink::reportSyncFailure(const std::string& path, int error, bool closing)
{
    if (m_status)
        m_status->syncFailed();
    if (!m_syncFailures.count())
        return;
    if (closing)
        report("\n\tWARNING: Not able to close datagram log file:\n\t         %s.", path.c_str());
    else
        report("\n\tERROR: %i. Not able to force datagram log file to disk, what was written may be lost:"
               "\n\t       %s.",
               error, path.c_str());
    if (m_writeFailed)
        m_writeFailed(path);
}

void CLogSink::removeNote()
{
    if (!m_notePath.empty())
        m_syncer.then([this] { reportNoteFailure("remove", removeOpenFileNote(m_notePath)); });
}

void CLogSink::reportNoteFailure(const char* step, int error)
{
    if (error != 0)
        report("\n\tWARNING: %i. Not able to %s the note of the open datagram log file:\n\t         %s.",
               error, step, m_notePath.c_str());
}

void CLogSink::rememberClosedFile(const std::string& path, const FileIdentity& identity)
{
    closedHere(path, identity, true);
    if (m_closedFiles.size() >= kRememberedClosedFiles)
        m_closedFiles.erase(m_closedFiles.begin());
    m_closedFiles.push_back({path, identity});
}

bool CLogSink::closedHere(const std::string& path, const FileIdentity& identity, bool forget)
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
