// What the logger has done since it started, as the status snapshot, the metrics and the service
// manager's status line show it. Every thread records its own part; the datagram path only adds to two
// counters and stamps the times.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

// How a handed-over file's conversion ended.
enum class ConversionResult
{
    Converted, // the script ran and ended with status 0
    Failed,    // not converted: refused by the scan, or the script failed
    Ended,     // ran past its time limit, or the logger ended, and was ended
};

// What a closed file's conversion left beside it.
struct ConversionFiles
{
    std::optional<std::string> rinex;   // the RINEX observation file, written form
    std::optional<std::string> quality; // the quality report, absolute native path
    std::optional<std::string> summary; // the report's one line
};

// What a retention pass did: the logger's own files it deleted, and the older log files it kept (not
// converted, or open or in conversion).
struct RetentionSummary
{
    std::chrono::system_clock::time_point ran;
    int days = 0;
    std::uint64_t deletedFiles = 0; // log files and everything converted from them
    std::uint64_t deletedBytes = 0;
    std::uint64_t deletedLogFiles = 0;
    std::uint64_t kept = 0;
};

// The logger's state as the status shows it; several states of the control's table read as one.
enum class LoggerState
{
    Starting,
    ReadingParameters,
    WaitingForStart,
    Started,
    Logging,
    DatabaseUnreadable,
    Stopping,
};
inline constexpr LoggerState kLoggerStates[] = {LoggerState::Starting,        LoggerState::ReadingParameters,
                                                LoggerState::WaitingForStart, LoggerState::Started,
                                                LoggerState::Logging,         LoggerState::DatabaseUnreadable,
                                                LoggerState::Stopping};
// "logging", "waiting for a start", ...
const char* stateName(LoggerState state);

// One consistent reading of the status at a moment. Times are the wall clock's, as people read them;
// every age and span is measured on the monotonic clock, so a step of the wall clock changes none.
struct LoggerSnapshot
{
    using Clock = std::chrono::system_clock;
    using Steady = std::chrono::steady_clock;

    Clock::time_point taken;
    Steady::time_point takenSteady;
    Clock::time_point started;
    LoggerState state = LoggerState::Starting;
    std::optional<std::string> file; // the open file, as the operator sees it
    Clock::time_point fileOpened;
    std::uint64_t fileDatagrams = 0;
    std::uint64_t fileBytes = 0;
    // Since start.
    std::uint64_t datagrams = 0;
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
    std::uint64_t kernelDrops = 0;
    std::uint64_t queueDrops = 0;   // datagrams dropped at the full queue to the disk
    std::uint64_t syncFailures = 0; // log file data the disk may not hold
    struct LastDatagram
    {
        Clock::time_point written;
        Steady::duration age;
    };
    std::optional<LastDatagram> lastDatagram; // the last one written
    // How long no datagram has come while logging, once that is longer than the maximum wait.
    std::optional<Steady::duration> noDataFor;
    Steady::time_point engineBeat; // the engine's last beat
    bool engineStuck = false;
    double datagramsPerSecond = 0.0;
    double bytesPerSecond = 0.0;
    struct RatePoint
    {
        Steady::time_point at;
        double datagramsPerSecond;
    };
    std::deque<RatePoint> rateHistory; // the rate once a rate span, oldest first
    std::map<ConversionResult, std::uint64_t> conversions;
    std::uint64_t conversionsWaiting = 0;
    struct Conversion
    {
        std::string path;
        ConversionResult result;
        Clock::time_point ended;
        ConversionFiles files;
    };
    std::deque<Conversion> recentConversions; // newest first
    std::map<int, std::uint64_t> messages;    // operator messages by number; 0 for one not posted yet
    struct Message
    {
        int number;
        Clock::time_point posted;
        std::string text; // as recorded; empty until the poster has formed it
    };
    std::deque<Message> recentMessages;   // newest first
    std::optional<std::string> logFolder; // of the open or last file, written form
    // The log folder's file system, as the status thread found it.
    struct Disk
    {
        std::uint64_t freeBytes = 0;
        bool low = false;               // below the operator's threshold
        std::optional<double> daysLeft; // at the rate the space went lately; none when it did not
    };
    std::optional<Disk> disk;
    std::optional<RetentionSummary> retention; // the last pass
};

class CLoggerStatus
{
public:
    using Clock = LoggerSnapshot::Clock;
    using Steady = LoggerSnapshot::Steady;
    static constexpr std::size_t kRecentMessages = 5;
    // The engine beats about once a second; this long without a beat, it is stuck.
    static constexpr Steady::duration kStuckAfter = std::chrono::seconds(3);
    // Takes a message's text once the poster has formed it, from any thread, even after the status
    // is gone.
    using MessageText = std::function<void(const std::string& text)>;
    static constexpr std::size_t kRecentConversions = 10;

    CLoggerStatus();

    // The datagram path: a datagram reached the engine. Returns how long none had before it: since the
    // one before, or since logging started.
    Steady::duration datagramArrived(Steady::time_point now)
    {
        const Steady::rep previous =
            m_lastArrival.exchange(now.time_since_epoch().count(), std::memory_order_relaxed);
        const Steady::rep since = std::max(previous, m_awaitingSince.load(std::memory_order_relaxed));
        return now - Steady::time_point(Steady::duration(since));
    }
    // The datagram path: a datagram written whole to the open file.
    void datagramWritten(std::size_t bytes)
    {
        m_datagrams.fetch_add(1, std::memory_order_relaxed);
        m_bytes.fetch_add(bytes, std::memory_order_relaxed);
        m_lastWritten.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        m_lastWrittenSteady.store(Steady::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
    // A logging period begins: datagrams are awaited from now, and none for longer than maxWait shows.
    void awaitingData(std::chrono::seconds maxWait);
    // The engine thread runs and takes its signals.
    void engineBeat()
    {
        m_engineBeat.store(Steady::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
    // The receiver's thread: a datagram dropped because the queue to the disk was full.
    void datagramDropped() { m_queueDrops.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t queueDrops() const { return m_queueDrops.load(std::memory_order_relaxed); }
    void fileOpened(const std::string& path);
    void fileClosed();
    void stateChanged(LoggerState state);
    // Every number that may be posted is counted, at 0 until it is.
    void messagesKnown(std::initializer_list<int> numbers);
    MessageText messagePosted(int number);
    void kernelDrops(std::uint64_t total);
    void syncFailed();
    void conversionQueued();
    void conversionEnded(const std::string& path, ConversionResult result, const ConversionFiles& files = {});
    void retentionRan(const RetentionSummary& summary);

    // Rates stay zero: they need two readings, which the publisher has.
    LoggerSnapshot snapshot() const;

private:
    // Shared with the texts still to come from the poster.
    struct RecentMessages
    {
        std::mutex lock;
        std::uint64_t posted = 0;
        std::deque<std::pair<std::uint64_t, LoggerSnapshot::Message>> newestFirst;
    };

    std::atomic<std::uint64_t> m_queueDrops{0};
    std::atomic<std::uint64_t> m_datagrams{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<Clock::rep> m_lastWritten{0}; // 0: none yet
    std::atomic<Steady::rep> m_lastWrittenSteady{0};
    std::atomic<Steady::rep> m_lastArrival{0};
    std::atomic<Steady::rep> m_awaitingSince{0};
    std::atomic<Steady::rep> m_engineBeat{0};
    mutable std::mutex m_lock; // everything below
    LoggerSnapshot m_rest;     // all but the datagram counts
    Steady::duration m_maxWait{0};
    std::uint64_t m_datagramsAtOpen = 0;
    std::uint64_t m_bytesAtOpen = 0;
    std::shared_ptr<RecentMessages> m_recent = std::make_shared<RecentMessages>();
};
