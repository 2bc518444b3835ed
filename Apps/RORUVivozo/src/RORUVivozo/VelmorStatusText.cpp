#include "RORUVivozo/VelmorStatusText.h"

#include "Platform/BootClock.h"
#include "Platform/DecimalText.h"
#include "Platform/UtcText.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace
{

using Clock = LoggerSnapshot::Clock;
namespace Key = StatusSnapshot;

constexpr double kBytesPerKilo = 1000.0;
constexpr char kMetricPrefix[] = "roruvivozo_";

std::string bytesText(std::uint64_t bytes)
{
    double value = static_cast<double>(bytes) / kBytesPerKilo;
    const char* unit = "kB";
    for (const char* larger : {"MB", "GB", "TB"})
    {
        if (value < kBytesPerKilo)
            break;
        value /= kBytesPerKilo;
        unit = larger;
    }
    return fmt::format("{:.1f} {}", value, unit);
}

double unixSeconds(Clock::time_point at)
{
    return std::chrono::duration<double>(at.time_since_epoch()).count();
}

double seconds(LoggerSnapshot::Steady::duration span)
{
    return std::chrono::duration<double>(span).count();
}

// Whole seconds, as an operator counts them.
long long wholeSeconds(LoggerSnapshot::Steady::duration span)
{
    return std::chrono::duration_cast<std::chrono::seconds>(span).count();
}

QString isoTime(Clock::time_point at)
{
    return QString::fromStdString(Platform::isoUtcMillis(at));
}

QString qText(const std::string& text)
{
    return QString::fromStdString(text);
}

const char* resultName(ConversionResult result)
{
    switch (result)
    {
    case ConversionResult::Converted:
        return Key::kConverted;
    case ConversionResult::Failed:
        return Key::kFailed;
    case ConversionResult::Ended:
        return Key::kEnded;
    }
    return Key::kFailed;
}

std::uint64_t conversions(const LoggerSnapshot& snapshot, ConversionResult result)
{
    const auto found = snapshot.conversions.find(result);
    return found == snapshot.conversions.end() ? 0 : found->second;
}

constexpr ConversionResult kResults[] = {ConversionResult::Converted, ConversionResult::Failed,
                                         ConversionResult::Ended};

// The counts since start, each a key of the snapshot's "since_start" and a counter of the metrics.
struct Counter
{
    const char* key;
    const char* metric;
    const char* help;
    std::uint64_t LoggerSnapshot::*value;
};
constexpr Counter kCounters[] = {
    {Key::kDatagrams, "datagrams_total", "Datagrams written whole to log files since the logger started.",
     &LoggerSnapshot::datagrams},
    {Key::kBytes, "datagram_bytes_total",
     "Bytes of the datagrams written to log files since the logger started.", &LoggerSnapshot::bytes},
    {Key::kFiles, "files_total", "Log files opened since the logger started.", &LoggerSnapshot::files},
    {Key::kKernelDrops, "kernel_dropped_datagrams_total",
     "Datagrams the kernel dropped on the data port because its receive buffer was full.",
     &LoggerSnapshot::kernelDrops},
    {Key::kQueueDrops, "queue_dropped_datagrams_total",
     "Datagrams the logger dropped on the data port because its queue to the disk was full.",
     &LoggerSnapshot::queueDrops},
    {Key::kSyncFailures, "sync_failures_total",
     "Log file syncs that failed, so that data written may not be on the disk.",
     &LoggerSnapshot::syncFailures},
};

} // namespace

std::string statusLine(const LoggerSnapshot& snapshot)
{
    // What needs the operator comes first, where a cut line still shows it.
    std::string line;
    if (snapshot.engineStuck)
        line += fmt::format("stuck: the engine has not run for {} s; ",
                            wholeSeconds(snapshot.takenSteady - snapshot.engineBeat));
    if (snapshot.noDataFor)
        line += fmt::format("no data for {} s; ", wholeSeconds(*snapshot.noDataFor));
    if (snapshot.disk && snapshot.disk->low)
        line += fmt::format("disk low: {} free; ", bytesText(snapshot.disk->freeBytes));
    line += stateName(snapshot.state);
    if (snapshot.file)
    {
        line += fmt::format(" {}: {}, {}, {:.1f}/s", *snapshot.file,
                            Platform::counted(snapshot.fileDatagrams, "datagram"),
                            bytesText(snapshot.fileBytes), snapshot.datagramsPerSecond);
        if (snapshot.lastDatagram)
            line += fmt::format(", last {:.1f} s ago", seconds(snapshot.lastDatagram->age));
    }
    const std::uint64_t converted = conversions(snapshot, ConversionResult::Converted);
    // A conversion that had to be ended produced no RINEX either.
    const std::uint64_t failed =
        conversions(snapshot, ConversionResult::Failed) + conversions(snapshot, ConversionResult::Ended);
    if (converted + failed != 0)
        line += fmt::format("; {} converted, {} failed", Platform::counted(converted, "file"),
                            Platform::groupedThousands(std::to_string(failed)));
    // One line: a control character from a path would start another assignment to the service manager.
    std::replace_if(
        line.begin(), line.end(), [](unsigned char c) { return c < ' ' || c == 0x7F; }, '?');
    return line;
}

std::string statusJson(const LoggerSnapshot& snapshot, const std::string& line, pid_t pid,
                       const std::string& bootId)
{
    QJsonObject sinceStart;
    for (const Counter& counter : kCounters)
        sinceStart.insert(counter.key, qint64(snapshot.*counter.value));
    QJsonArray rateHistory;
    for (const LoggerSnapshot::RatePoint& point : snapshot.rateHistory)
        rateHistory.append(
            QJsonObject{{Key::kSecondsAgo, std::max(0.0, seconds(snapshot.takenSteady - point.at))},
                        {Key::kDatagramsPerSecond, point.datagramsPerSecond}});
    QJsonObject document{
        {Key::kProgram, "RORUVivozo"},
        {Key::kPid, static_cast<qint64>(pid)},
        {Key::kWritten, isoTime(snapshot.taken)},
        {Key::kWrittenUnix, unixSeconds(snapshot.taken)},
        {Key::kWrittenMonotonic, Platform::monotonicSeconds(snapshot.takenSteady)},
        {Key::kBootId, qText(bootId)},
        {Key::kStarted, isoTime(snapshot.started)},
        {Key::kState, stateName(snapshot.state)},
        {Key::kStatus, qText(line)},
        {Key::kFile, snapshot.file ? QJsonValue(QJsonObject{{Key::kPath, qText(*snapshot.file)},
                                                            {Key::kOpened, isoTime(snapshot.fileOpened)},
                                                            {Key::kDatagrams, qint64(snapshot.fileDatagrams)},
                                                            {Key::kBytes, qint64(snapshot.fileBytes)}})
                                   : QJsonValue()},
        {Key::kSinceStart, sinceStart},
        {Key::kRate, QJsonObject{{Key::kDatagramsPerSecond, snapshot.datagramsPerSecond},
                                 {Key::kBytesPerSecond, snapshot.bytesPerSecond},
                                 {Key::kRateHistory, rateHistory}}},
        {Key::kLastDatagram,
         snapshot.lastDatagram
             ? QJsonValue(QJsonObject{{Key::kTime, isoTime(snapshot.lastDatagram->written)},
                                      {Key::kAgeSeconds, seconds(snapshot.lastDatagram->age)}})
             : QJsonValue()},
        {Key::kNoDataFor, snapshot.noDataFor ? QJsonValue(seconds(*snapshot.noDataFor)) : QJsonValue()},
        {Key::kEngine,
         QJsonObject{{Key::kLastBeatMonotonic, Platform::monotonicSeconds(snapshot.engineBeat)},
                     {Key::kBeatAgeSeconds, seconds(snapshot.takenSteady - snapshot.engineBeat)},
                     {Key::kStuck, snapshot.engineStuck}}},
    };
    QJsonObject conversionCounts{{Key::kWaiting, qint64(snapshot.conversionsWaiting)}};
    for (const ConversionResult result : kResults)
        conversionCounts.insert(resultName(result), qint64(conversions(snapshot, result)));
    const std::deque<LoggerSnapshot::Conversion>& closed = snapshot.recentConversions;
    conversionCounts.insert(Key::kLast, closed.empty()
                                            ? QJsonValue()
                                            : QJsonObject{{Key::kPath, qText(closed.front().path)},
                                                          {Key::kResult, resultName(closed.front().result)},
                                                          {Key::kTime, isoTime(closed.front().ended)}});
    QJsonArray recentConversions;
    const auto optional = [](const std::optional<std::string>& text)
    { return text ? QJsonValue(qText(*text)) : QJsonValue(); };
    for (const LoggerSnapshot::Conversion& conversion : snapshot.recentConversions)
        recentConversions.append(QJsonObject{{Key::kPath, qText(conversion.path)},
                                             {Key::kResult, resultName(conversion.result)},
                                             {Key::kTime, isoTime(conversion.ended)},
                                             {Key::kRinex, optional(conversion.files.rinex)},
                                             {Key::kQuality, optional(conversion.files.quality)},
                                             {Key::kSummary, optional(conversion.files.summary)}});
    conversionCounts.insert(Key::kRecent, recentConversions);
    document.insert(Key::kConversions, conversionCounts);
    QJsonObject messages;
    for (const auto& [number, count] : snapshot.messages)
        if (count != 0)
            messages.insert(QString::number(number), qint64(count));
    document.insert(Key::kMessages, messages);
    QJsonArray recent;
    for (const LoggerSnapshot::Message& message : snapshot.recentMessages)
        recent.append(QJsonObject{{Key::kNumber, message.number},
                                  {Key::kTime, isoTime(message.posted)},
                                  {Key::kText, qText(message.text)}});
    document.insert(Key::kRecentMessages, recent);
    const std::optional<LoggerSnapshot::Disk>& disk = snapshot.disk;
    document.insert(Key::kDiskFreeBytes, disk ? QJsonValue(qint64(disk->freeBytes)) : QJsonValue());
    document.insert(Key::kDiskLow, disk && disk->low);
    document.insert(Key::kDiskDaysLeft, disk && disk->daysLeft ? QJsonValue(*disk->daysLeft) : QJsonValue());
    const std::optional<RetentionSummary>& retention = snapshot.retention;
    document.insert(Key::kRetention,
                    retention
                        ? QJsonValue(QJsonObject{{Key::kLastRun, isoTime(retention->ran)},
                                                 {Key::kDays, retention->days},
                                                 {Key::kDeletedFiles, qint64(retention->deletedFiles)},
                                                 {Key::kDeletedBytes, qint64(retention->deletedBytes)},
                                                 {Key::kDeletedLogFiles, qint64(retention->deletedLogFiles)},
                                                 {Key::kKept, qint64(retention->kept)}})
                        : QJsonValue());
    return QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}

namespace
{

// One metric family: its help and type lines, then its samples.
class Exposition
{
public:
    void family(const char* name, const char* type, const char* help)
    {
        m_text += fmt::format("# HELP {}{} {}\n# TYPE {}{} {}\n", kMetricPrefix, name, help, kMetricPrefix,
                              name, type);
    }
    void sample(const char* name, double value, const std::string& labels = {})
    {
        m_text +=
            fmt::format("{}{}{} {}\n", kMetricPrefix, name, labels.empty() ? "" : "{" + labels + "}", value);
    }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text;
};

// "started, waiting for data" becomes "started_waiting_for_data", as label values are written.
std::string snakeCase(const std::string& text)
{
    std::string snake;
    for (const char c : text)
    {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0)
            snake += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (!snake.empty() && snake.back() != '_')
            snake += '_';
    }
    while (!snake.empty() && snake.back() == '_')
        snake.pop_back();
    return snake;
}

std::string label(const char* name, const std::string& value)
{
    std::string escaped;
    for (const char c : value)
    {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return fmt::format("{}=\"{}\"", name, escaped);
}

} // namespace

std::string statusMetrics(const LoggerSnapshot& snapshot)
{
    Exposition out;
    out.family("state", "gauge", "The logger's state: 1 for the state it is in, 0 for the others.");
    for (const LoggerState state : kLoggerStates)
        out.sample("state", snapshot.state == state ? 1 : 0, label("state", snakeCase(stateName(state))));
    out.family("start_time_seconds", "gauge", "When the logger started, in seconds since 1970.");
    out.sample("start_time_seconds", unixSeconds(snapshot.started));
    for (const Counter& counter : kCounters)
    {
        out.family(counter.metric, "counter", counter.help);
        out.sample(counter.metric, static_cast<double>(snapshot.*counter.value));
    }
    out.family("conversions_total", "counter", "Log files whose conversion to RINEX ended, by result.");
    for (const ConversionResult result : kResults)
        out.sample("conversions_total", static_cast<double>(conversions(snapshot, result)),
                   label("result", resultName(result)));
    out.family("conversions_waiting", "gauge",
               "Closed log files waiting for their conversion to RINEX or being converted.");
    out.sample("conversions_waiting", static_cast<double>(snapshot.conversionsWaiting));
    out.family("operator_messages_total", "counter",
               "Operator messages posted since the logger started, by number.");
    for (const auto& [number, count] : snapshot.messages)
        out.sample("operator_messages_total", static_cast<double>(count),
                   label("number", std::to_string(number)));
    out.family("file_datagrams", "gauge", "Datagrams in the open log file; 0 while none is open.");
    out.sample("file_datagrams", static_cast<double>(snapshot.fileDatagrams));
    out.family("file_bytes", "gauge", "Bytes in the open log file; 0 while none is open.");
    out.sample("file_bytes", static_cast<double>(snapshot.fileBytes));
    out.family("datagrams_per_second", "gauge", "Datagrams written per second over the last seconds.");
    out.sample("datagrams_per_second", snapshot.datagramsPerSecond);
    out.family("datagram_bytes_per_second", "gauge", "Bytes written per second over the last seconds.");
    out.sample("datagram_bytes_per_second", snapshot.bytesPerSecond);
    if (snapshot.lastDatagram)
    {
        out.family("last_datagram_timestamp_seconds", "gauge",
                   "When the last datagram was written, in seconds since 1970.");
        out.sample("last_datagram_timestamp_seconds", unixSeconds(snapshot.lastDatagram->written));
    }
    if (snapshot.disk)
    {
        out.family("disk_free_bytes", "gauge",
                   "Bytes free for the logger on the file system of its log folder.");
        out.sample("disk_free_bytes", static_cast<double>(snapshot.disk->freeBytes));
    }
    out.family(
        "engine_beat_age_seconds", "gauge",
        "Seconds since the engine, which takes every datagram, last showed it runs; it beats about once "
        "a second.");
    out.sample("engine_beat_age_seconds", seconds(snapshot.takenSteady - snapshot.engineBeat));
    return out.take();
}
