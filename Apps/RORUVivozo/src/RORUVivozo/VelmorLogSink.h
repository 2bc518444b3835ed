// The log sink: the one owner of a datagram log file's life. It opens the file (date tokens, directories,
// moving an existing file aside), appends datagrams unframed, closes it, and hands every file once to
// its conversion queue.
#pragma once

#include "Platform/UniqueFd.h"
#include "RORUVivozo/VelmorConversion.h"
#include "RORUVivozo/VelmorLogFileName.h"
#include "RORUVivozo/VelmorLogFileSyncer.h"
#include "RORUVivozo/VelmorReportThrottle.h"

#include <chrono>
#include <cstddef>
#include <ctime>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class CLogSink
{
public:
    // One finished trace line (a data line of the control; begins with "\n\t").
    using Report = std::function<void(const std::string& line)>;
    // Gets the path at the first write or sync failure of a file and at every 1000th after it: the
    // operator's cue. A failed sync comes on the syncer's thread.
    using WriteFailed = std::function<void(const std::string& path)>;

    // A failed write is reported (trace line and WriteFailed) at the first failure of a file and then at
    // every this many.
    static constexpr int32_t writeFailureReportEvery = 1000;

    // The conversion queue starts with the sink, with what each file's scan is to know (contextOf) and
    // converter, which converts one file (a conversion still running after timeLimit is ended). status,
    // when given, learns of every open, write, close, failed sync and conversion result. notePath (written
    // form), when given, is where the note of the open file is kept; archiveFailed gets the archive copy
    // that could not be written, when the operator is to hear of it.
    CLogSink(Report report, std::chrono::seconds timeLimit, CVelmorConversion::ContextOf contextOf,
             WriteFailed writeFailed = {}, CLoggerStatus* status = nullptr,
             CVelmorConversion::Converter converter = {}, std::string notePath = {},
             CVelmorConversion::ArchiveFailed archiveFailed = {});
    ~CLogSink();
    CLogSink(const CLogSink&) = delete;
    CLogSink& operator=(const CLogSink&) = delete;

    // Start: forms the path from directory and name, creates missing directories, moves an existing
    // file aside (handing it to the conversion unless it was handed over here already) and opens a
    // fresh file. True when the file is open and no step failed. Only a ".rtcm" file of a drive path
    // below the suite root is ever opened or moved aside; any other path is refused with a trace line.
    bool openLogFile(const std::string& directory, const std::string& name);
    // Write: appends one datagram and hands it to the operating system before returning; a thread of
    // the sink's own forces it to disk within about a second. A file gone from its path, or replaced
    // there, is closed first and the path opened afresh; when that open fails, the file is no longer open.
    // True when the whole datagram is in the file.
    bool writeDatagram(const unsigned char* bytes, std::size_t count);
    // Closes the file if one is open and hands it to the conversion. The syncer forces it to disk and
    // closes it, reporting a failure; its conversion waits for that.
    void closeLogFile();
    // Rotate or stop: closeLogFile with its trace line, also when nothing was open. The next
    // openLogFile starts the next file.
    void rotate();
    // The end: the open file is rotated out, then the files still waiting are converted, within a bound.
    void stop();
    // Start-up: a file the note names, left open by a run that ended without closing it, goes to the
    // conversion, once.
    void convertFileLeftOpen();

    bool isOpen() const { return m_fd >= 0; }
    // From any thread: the files waiting for their conversion or being converted.
    std::vector<std::string> conversionsPending() { return m_conversion.pending(); }
    // The current (or last) file's path in its written form.
    const std::string& path() const { return m_path; }

    // A file on disk as it was closed; the same file found again unchanged has the same identity.
    struct FileIdentity
    {
        unsigned long long device;
        unsigned long long inode;
        long long size;
        long long modifiedNs;
        bool operator==(const FileIdentity&) const = default;
    };

private:
    void report(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The steps of openLogFile after the path is formed.
    bool openPath();
    bool openForWriting(const std::string& name);
    void reportRefusal(const char* why);
    bool goneFromPath() const;
    void reopen();
    // Renames the file at the current path to its moved-aside name, target. followed: a conversion
    // still to come for the file now takes the moved-aside name.
    bool moveAsideLogFile(std::string& target, bool& followed);
    // The one way from here to the conversion.
    void handOver(const std::string& path, std::time_t opened, std::shared_future<bool> onDisk = {});
    void reportWriteFailure();
    // On the syncer's thread: reported like a failed write, as the kernel may have dropped the data.
    void reportSyncFailure(const std::string& path, int error, bool closing);
    // The note goes once no file is open; removed or written on the syncer's thread, after the steps
    // handed over before.
    void removeNote();
    // A note not written or not removed: a crash would then go unnoticed, or be taken for one.
    void reportNoteFailure(const char* step, int error);

    // Every file is converted once: a file closed here went to the conversion at its close, and is
    // only moved aside when found again unchanged.
    void rememberClosedFile(const std::string& path, const FileIdentity& identity);
    // True when that file was closed, and so handed over, here; forget drops it from the list.
    bool closedHere(const std::string& path, const FileIdentity& identity, bool forget);
    struct ClosedFile
    {
        std::string path;
        FileIdentity identity;
    };

    Report m_report;
    WriteFailed m_writeFailed;
    CLoggerStatus* m_status;
    CReportThrottle m_writeFailures{writeFailureReportEvery}; // of the open file
    CReportThrottle m_syncFailures{writeFailureReportEvery};  // of the open file, on the syncer's thread
    const std::string m_notePath;
    std::string m_path;
    std::string m_nativePath;                          // of the open file, as it was opened
    Platform::UniqueFd m_directory;                    // of the path, as reached below the suite root
    std::optional<std::pair<dev_t, ino_t>> m_identity; // of the open file
    int m_fd = -1;
    long long m_written = 0;               // bytes of whole datagrams in the file
    std::time_t m_opened = 0;              // dates a file whose observations carry no date
    std::vector<ClosedFile> m_closedFiles; // the latest handed over by a close, oldest first
    CLogFileSyncer m_syncer;
    CVelmorConversion m_conversion; // the closed files on their way to RINEX, in close order
};
