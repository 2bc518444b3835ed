// Turns the logger's status snapshot into the lines of the console's watch view.
#include "StatusView.h"

#include "Platform/DecimalText.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace
{

namespace Key = StatusSnapshot;

constexpr int kRecentShown = 5;
const std::string kIndent(15, ' ');

std::string label(const char* name)
{
    std::string text(name);
    text.resize(kIndent.size(), ' ');
    return text;
}

std::string fixed1(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Numbers that name something (a pid, a message) are shown as they are; counts are grouped.
std::string whole(const QJsonValue& value)
{
    return value.isDouble() ? std::to_string(std::llround(value.toDouble())) : "?";
}

std::string count(const QJsonValue& value)
{
    return Platform::groupedThousands(whole(value));
}

std::string counted(const QJsonValue& value, const char* noun)
{
    return value.isDouble()
               ? Platform::counted(static_cast<std::uint64_t>(std::llround(value.toDouble())), noun)
               : std::string("? ") + noun + "s";
}

std::string kilobytes(const QJsonValue& bytes)
{
    return bytes.isDouble() ? Platform::groupedThousands(fixed1(bytes.toDouble() / 1000.0)) + " kB" : "? kB";
}

// "3.5 GB", as the logger's status line writes sizes.
std::string sizeText(const QJsonValue& bytes)
{
    if (!bytes.isDouble())
        return "? kB";
    double value = bytes.toDouble() / 1000.0;
    const char* unit = "kB";
    for (const char* larger : {"MB", "GB", "TB"})
    {
        if (value < 1000.0)
            break;
        value /= 1000.0;
        unit = larger;
    }
    return fixed1(value) + " " + unit;
}

std::string text(const QJsonValue& value)
{
    return value.toString().toStdString();
}

// "2026-12-09T20:15:03.123Z" becomes "2026-12-09 20:15:03 UTC"; anything else stays as written.
std::string shortTime(const QJsonValue& value)
{
    std::string time = text(value);
    if (time.size() < 20 || time[10] != 'T' || time.back() != 'Z')
        return time;
    time[10] = ' ';
    return time.substr(0, 19) + " UTC";
}

void addFile(const QJsonValue& file, std::vector<std::string>& lines)
{
    if (!file.isObject())
    {
        lines.push_back(label("File") + "none open");
        return;
    }
    lines.push_back(label("File") + text(file[Key::kPath]));
    lines.push_back(kIndent + counted(file[Key::kDatagrams], "datagram") + ", " +
                    kilobytes(file[Key::kBytes]) + ", opened " + shortTime(file[Key::kOpened]));
}

void addConversions(const QJsonValue& conversions, std::vector<std::string>& lines)
{
    lines.push_back(label("Conversions") + count(conversions[Key::kConverted]) + " converted, " +
                    count(conversions[Key::kFailed]) + " failed, " + count(conversions[Key::kEnded]) +
                    " ended, " + count(conversions[Key::kWaiting]) + " waiting");
    const QJsonValue last = conversions[Key::kLast];
    if (last.isObject())
        lines.push_back(kIndent + "last " + text(last[Key::kPath]) + ": " + text(last[Key::kResult]) +
                        " at " + shortTime(last[Key::kTime]));
}

// The newest closed file's quality line, as its report sums it up.
void addLastQuality(const QJsonValue& conversions, std::vector<std::string>& lines)
{
    const QJsonValue newest = conversions[Key::kRecent][0];
    if (newest.isObject())
        lines.push_back(label("Last quality") + (newest[Key::kSummary].isString()
                                                     ? text(newest[Key::kSummary])
                                                     : "no quality report"));
}

// How long ago the snapshot was written: on the monotonic clock where it was written in this boot, so
// that a step of the wall clock changes no age; else on the wall clock.
std::optional<double> snapshotAge(const QJsonObject& snapshot, const ReadingTime& now)
{
    const QJsonValue monotonic = snapshot[Key::kWrittenMonotonic];
    const QJsonValue written = snapshot[Key::kWrittenUnix];
    double age = 0;
    if (monotonic.isDouble() && !now.bootId.empty() && text(snapshot[Key::kBootId]) == now.bootId)
        age = now.monotonic - monotonic.toDouble();
    else if (written.isDouble())
        age = now.unix - written.toDouble();
    else
        return std::nullopt;
    // A clock stepped back leaves the snapshot "in the future": that is no sign of a stuck logger.
    return std::max(0.0, age);
}

// The log folder's disk, once a file has named it, and the last retention pass.
void addDisk(const QJsonObject& snapshot, std::vector<std::string>& lines)
{
    if (snapshot[Key::kDiskFreeBytes].isDouble())
    {
        const QJsonValue days = snapshot[Key::kDiskDaysLeft];
        lines.push_back(
            label("Disk") + sizeText(snapshot[Key::kDiskFreeBytes]) + " free" +
            (snapshot[Key::kDiskLow].toBool() ? ", LOW" : "") +
            (days.isDouble() ? ", " + fixed1(days.toDouble()) + " days left at the current rate" : ""));
    }
    const QJsonValue retention = snapshot[Key::kRetention];
    if (retention.isObject())
        lines.push_back(label("Retention") + "last run " + shortTime(retention[Key::kLastRun]) +
                        ": deleted " + counted(retention[Key::kDeletedFiles], "file") + " of " +
                        counted(retention[Key::kDeletedLogFiles], "log file") + " (" +
                        sizeText(retention[Key::kDeletedBytes]) + "), kept " +
                        counted(retention[Key::kKept], "older log file"));
}

void addMessages(const QJsonObject& snapshot, std::vector<std::string>& lines)
{
    const QJsonObject numbers = snapshot[Key::kMessages].toObject();
    std::string counts;
    for (auto it = numbers.begin(); it != numbers.end(); ++it)
        counts += (counts.empty() ? "" : ", ") + it.key().toStdString() + ": " + count(it.value());
    lines.push_back(label("Messages") + (counts.empty() ? "none" : counts));
    const QJsonArray recent = snapshot[Key::kRecentMessages].toArray();
    for (int i = 0; i < std::min(static_cast<int>(recent.size()), kRecentShown); ++i)
    {
        const std::string message = text(recent[i][Key::kText]);
        lines.push_back(kIndent + whole(recent[i][Key::kNumber]) + " at " + shortTime(recent[i][Key::kTime]) +
                        (message.empty() ? "" : ": " + message));
    }
}

} // namespace

StatusView statusView(const QJsonObject& snapshot, const ReadingTime& now, const std::string& shownPath)
{
    StatusView view;
    const std::optional<double> written = snapshotAge(snapshot, now);
    const double age = written.value_or(0.0);
    const QJsonValue engine = snapshot[Key::kEngine];
    if (!written)
        view.problem = "the status snapshot at " + shownPath + " does not say when it was written";
    else if (age > Key::kStaleAfterSeconds)
        view.problem = "the status snapshot at " + shownPath + " is " + std::to_string(std::lround(age)) +
                       " s old: the logger is not running, or is stuck";
    else if (engine[Key::kStuck].toBool())
        view.problem =
            "the logger is stuck: its engine, which takes every datagram and command, has not run for " +
            std::to_string(std::llround(engine[Key::kBeatAgeSeconds].toDouble() + age)) + " s";

    std::vector<std::string>& lines = view.lines;
    lines.push_back(label("State") + text(snapshot[Key::kState]) + " (" + text(snapshot[Key::kProgram]) +
                    " pid " + whole(snapshot[Key::kPid]) + ", started " + shortTime(snapshot[Key::kStarted]) +
                    ")");
    const QJsonValue silent = snapshot[Key::kNoDataFor];
    if (silent.isDouble())
        lines.push_back(label("Input") + "no data for " +
                        std::to_string(static_cast<long long>(silent.toDouble() + age)) + " s");
    addFile(snapshot[Key::kFile], lines);
    const QJsonValue rate = snapshot[Key::kRate];
    lines.push_back(label("Rate") + fixed1(rate[Key::kDatagramsPerSecond].toDouble()) + " datagrams/s, " +
                    fixed1(rate[Key::kBytesPerSecond].toDouble() / 1000.0) + " kB/s");
    const QJsonValue last = snapshot[Key::kLastDatagram];
    // The age was taken when the snapshot was written; it has grown since.
    lines.push_back(label("Last datagram") + (last.isObject()
                                                  ? fixed1(last[Key::kAgeSeconds].toDouble() + age) +
                                                        " s ago (" + shortTime(last[Key::kTime]) + ")"
                                                  : "none yet"));
    const QJsonValue total = snapshot[Key::kSinceStart];
    const QJsonValue drops = total[Key::kKernelDrops];
    lines.push_back(
        label("Since start") + counted(total[Key::kDatagrams], "datagram") + ", " +
        kilobytes(total[Key::kBytes]) + ", " + counted(total[Key::kFiles], "file") + ", " +
        (drops.isDouble() ? count(drops) + " kernel drops" : "kernel drops not reported") +
        (total[Key::kQueueDrops].toDouble() > 0 ? ", " + count(total[Key::kQueueDrops]) + " queue drops"
                                                : "") +
        (total[Key::kSyncFailures].toDouble() > 0 ? ", " + counted(total[Key::kSyncFailures], "sync failure")
                                                  : ""));
    addDisk(snapshot, lines);
    addConversions(snapshot[Key::kConversions], lines);
    addLastQuality(snapshot[Key::kConversions], lines);
    addMessages(snapshot, lines);
    lines.push_back(label("Written") + shortTime(snapshot[Key::kWritten]) + ", " + fixed1(age) + " s ago");
    return view;
}
