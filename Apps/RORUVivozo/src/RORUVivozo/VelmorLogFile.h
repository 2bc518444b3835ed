// The datagram log file: path with date tokens, directory creation, moving an existing file aside,
// appending datagrams unframed, and handing every closed file on to the conversion.
#pragma once

#include "Platform/UniqueFd.h"
#include "RORUVivozo/VelmorLogFileSyncer.h"
#include "RORUVivozo/VelmorReportThrottle.h"

#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

// Extension every datagram log file carries; the moved-aside name is built around it.
inline constexpr std::string_view kLogFileExtension = ".rtcm";

// The six date tokens, replaced by the UTC fields of one reading of the clock.
std::string expandDateTokens(std::string_view text, std::time_t now);
std::string expandDateTokens(std::string_view text);

// The name an existing log file is moved to: the local-time suffix ("_%y%m%d%H%M%S") put in place of
// the first ".rtcm" of the file name with ".rtcm" appended; counter > 0 adds "_<counter>" after the
// suffix so that a second move within the same second keeps the first moved-aside file.
std::string movedAsideName(std::string_view path, std::string_view suffix, int counter);

// True when a component of the path (between '\', '/' and ':') is "..": such a path is refused.
bool holdsParentComponent(std::string_view path);

// "_%y%m%d%H%M%S" of the local time, or "0000000000" when the clock cannot be read.
std::string movedAsideSuffix(std::time_t now);

class CVelmorLogFile
{
public:
    // One finished trace line (a data line of the control; begins with "\n\t").
    using Report = std::function<void(const std::string& line)>;
    // Gets every log file once: a file closed here under its path, a file left by someone else at
    // the path under the name it was moved aside to; with the time this logger opened it (0 for a
    // file left by someone else). The conversion may run later.
    using Convert = std::function<void(const std::string& path, std::time_t opened)>;
    // Runs the move of a file from one path to another, returning whether it succeeded, so that a
    // conversion still to come for the old path takes the new one; true when one did. Absent: the
    // move just runs.
    using Follow = std::function<bool(const std::string& from, const std::string& to,
                                      const std::function<bool()>& move)>;
    // A file on disk as it was closed; the same file found again unchanged has the same identity.
    struct FileIdentity
    {
        unsigned long long device;
        unsigned long long inode;
        long long size;
        long long modifiedNs;
        bool operator==(const FileIdentity&) const = default;
    };

    // Gets the path at the first write failure of a file and at every 1000th after it: the operator's cue.
    using WriteFailed = std::function<void(const std::string& path)>;

    // A failed write is reported (trace line and WriteFailed) at the first failure of a file and then at
    // every this many.
    static constexpr int32_t writeFailureReportEvery = 1000;

    CVelmorLogFile(Report report, Convert convert, WriteFailed writeFailed = {}, Follow follow = {});
    ~CVelmorLogFile();
    CVelmorLogFile(const CVelmorLogFile&) = delete;
    CVelmorLogFile& operator=(const CVelmorLogFile&) = delete;

    // Forms the path from directory and name, creates missing directories, moves an existing file
    // aside (handing it to the conversion unless it was closed here) and opens a fresh file. True
    // when the file is open and no step failed. Only a ".rtcm" file of a drive path below the suite
    // root is ever opened or moved aside; any other path is refused with a trace line.
    bool openLogFile(const std::string& directory, const std::string& name);
    // Renames the file at the current path to its moved-aside name.
    bool moveAsideLogFile();
    // Appends one datagram and hands it to the operating system before returning; a thread of the
    // file's own forces it to disk within about a second. A file gone from
    // its path, or replaced there, is closed first and the path opened afresh; when that open fails,
    // the file is no longer open.
    void writeDatagram(const unsigned char* bytes, std::size_t count);
    // Forces the file to disk, closes it if one is open and hands it to the conversion. True when
    // nothing was open or the sync and the close succeeded.
    bool closeLogFile();

    bool isOpen() const { return m_fd >= 0; }
    // The current (or last) file's path in its written form.
    const std::string& path() const { return m_path; }

private:
    void report(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The steps of openLogFile after the path is formed.
    bool openPath();
    bool openForWriting(const std::string& name);
    void reportRefusal(const char* why);
    bool goneFromPath() const;
    void reopen();
    // followed: a conversion still to come for the file now takes the moved-aside name.
    bool moveAsideLogFile(std::string& target, bool& followed);
    // The one way from here to the conversion.
    void handOver(const std::string& path, std::time_t opened);
    void rememberClosedFile(const std::string& path, const FileIdentity& identity);
    // True when that file was closed, and so handed over, here; forget drops it from the list.
    bool closedHere(const std::string& path, const FileIdentity& identity, bool forget);

    struct ClosedFile
    {
        std::string path;
        FileIdentity identity;
    };

    void reportWriteFailure();

    Report m_report;
    Convert m_convert;
    WriteFailed m_writeFailed;
    CReportThrottle m_writeFailures{writeFailureReportEvery}; // of the open file
    Follow m_follow;
    std::string m_path;
    std::string m_nativePath;                          // of the open file, as it was opened
    Platform::UniqueFd m_directory;                    // of the path, as reached below the suite root
    std::optional<std::pair<dev_t, ino_t>> m_identity; // of the open file
    int m_fd = -1;
    bool m_failed = false;                 // the stream's error state
    long long m_written = 0;               // bytes of whole datagrams in the file
    std::time_t m_opened = 0;              // dates a file whose observations carry no date
    std::vector<ClosedFile> m_closedFiles; // the latest handed over by a close, oldest first
    CLogFileSyncer m_syncer;
};
