// What the logger has done since it started, as the status snapshot, the metrics and the service
// manager's status line show it. Every thread records its own part; the datagram path only adds to two
// counters and stamps the time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

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

// One consistent reading of the status at a moment.
struct LoggerSnapshot
{
    using Clock = std::chrono::system_clock;

    Clock::time_point taken;
    Clock::time_point started;
    LoggerState state = LoggerState::Starting;
    std::optional<std::string> file; // the open file, as the operator sees it
    Clock::time_point fileOpened;
    std::uint64_t fileDatagrams = 0;
    std::uint64_t fileBytes = 0;
    std::uint64_t datagrams = 0; // since start
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
    std::optional<std::uint64_t> kernelDrops; // once the kernel has told
    std::optional<Clock::time_point> lastDatagram;
    double datagramsPerSecond = 0.0;
    double bytesPerSecond = 0.0;
    std::map<ConversionResult, std::uint64_t> conversions;
    std::uint64_t conversionsWaiting = 0;
    struct Conversion
    {
        std::string path;
        ConversionResult result;
        Clock::time_point ended;
        ConversionFiles files;
    };
    std::optional<Conversion> lastConversion;
    std::deque<Conversion> recentConversions; // newest first
    std::map<int, std::uint64_t> messages;    // operator messages by number
    struct Message
    {
        int number;
        Clock::time_point posted;
    };
    std::deque<Message> recentMessages; // newest first
};

class CLoggerStatus
{
public:
    using Clock = LoggerSnapshot::Clock;
    static constexpr std::size_t kRecentMessages = 5;
    static constexpr std::size_t kRecentConversions = 10;

    CLoggerStatus();

    // The datagram path: a datagram written whole to the open file.
    void datagramWritten(std::size_t bytes)
    {
        m_datagrams.fetch_add(1, std::memory_order_relaxed);
        m_bytes.fetch_add(bytes, std::memory_order_relaxed);
        m_lastDatagram.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
    void fileOpened(const std::string& path);
    void fileClosed();
    void stateChanged(LoggerState state);
    void messagePosted(int number);
    void kernelDrops(std::uint64_t total);
    void conversionQueued();
    void conversionEnded(const std::string& path, ConversionResult result, const ConversionFiles& files = {});

    // Rates stay zero: they need two readings, which the publisher has.
    LoggerSnapshot snapshot() const;

private:
    std::atomic<std::uint64_t> m_datagrams{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<Clock::rep> m_lastDatagram{0}; // 0: none yet
    mutable std::mutex m_lock;                 // everything below
    LoggerSnapshot m_rest;                     // all but the datagram counts
    std::uint64_t m_datagramsAtOpen = 0;
    std::uint64_t m_bytesAtOpen = 0;
};
