// The logger's status snapshot: one JSON document that the logger rewrites (write, then rename) at most
// once a second and the console's watch reads. Field names are the document's keys.
#pragma once

namespace StatusSnapshot
{
// Where the logger writes it unless told otherwise: the suite's temp folder.
inline constexpr char kDefaultPath[] = "C:\\temp\\RORUVivozo.status.json";
// A snapshot older than this says the logger is not running, or not able to write it.
inline constexpr double kStaleAfterSeconds = 5.0;

// Top level.
inline constexpr char kProgram[] = "program";
inline constexpr char kPid[] = "pid";
inline constexpr char kWritten[] = "written";          // ISO 8601 UTC, milliseconds
inline constexpr char kWrittenUnix[] = "written_unix"; // seconds since 1970, fractional
// Seconds of the kernel's monotonic clock, which no step of the wall clock moves; readings of two
// processes compare only under the same boot id.
inline constexpr char kWrittenMonotonic[] = "written_monotonic";
inline constexpr char kBootId[] = "boot_id";
inline constexpr char kStarted[] = "started";
inline constexpr char kState[] = "state";   // "starting", "reading parameters", "waiting for a start", ...
inline constexpr char kStatus[] = "status"; // the one line the service manager shows
inline constexpr char kFile[] = "file";     // null while no file is open
inline constexpr char kSinceStart[] = "since_start";
inline constexpr char kRate[] = "rate";
inline constexpr char kLastDatagram[] = "last_datagram"; // null before the first
// Seconds without a datagram while logging, once past the maximum wait; null while data comes.
inline constexpr char kNoDataFor[] = "no_data_for_s";
// The engine, which takes every datagram and command: {"last_beat_monotonic", "beat_age_seconds", "stuck"}.
inline constexpr char kEngine[] = "engine";
inline constexpr char kConversions[] = "conversions";
inline constexpr char kMessages[] = "messages";              // operator messages by number: {"1424": 2}
inline constexpr char kRecentMessages[] = "recent_messages"; // newest first: [{"number", "time", "text"}]
// The log folder's file system: free bytes (null before the first file), below the operator's threshold,
// and the days until it is full at the rate it went lately (null when no rate is known).
inline constexpr char kDiskFreeBytes[] = "disk_free_bytes";
inline constexpr char kDiskLow[] = "disk_low";
inline constexpr char kDiskDaysLeft[] = "disk_days_left";
// The last retention pass, null before it: {"last_run", "days", "deleted_files", "deleted_bytes",
// "deleted_log_files", "kept"}.
inline constexpr char kRetention[] = "retention";
inline constexpr char kLastRun[] = "last_run";
inline constexpr char kDays[] = "days";
inline constexpr char kDeletedFiles[] = "deleted_files";
inline constexpr char kDeletedBytes[] = "deleted_bytes";
inline constexpr char kDeletedLogFiles[] = "deleted_log_files";
inline constexpr char kKept[] = "kept"; // older log files kept: not converted, open or in conversion

// In "file", "since_start", "rate", "last_datagram", "engine", "conversions" and the recent messages.
inline constexpr char kPath[] = "path";
inline constexpr char kOpened[] = "opened";
inline constexpr char kDatagrams[] = "datagrams";
inline constexpr char kBytes[] = "bytes";
inline constexpr char kFiles[] = "files";
inline constexpr char kKernelDrops[] = "kernel_drops";
inline constexpr char kQueueDrops[] = "queue_drops"; // dropped at the full queue to the disk
inline constexpr char kDatagramsPerSecond[] = "datagrams_per_second";
inline constexpr char kBytesPerSecond[] = "bytes_per_second";
// In "rate": the rate every 10 s over the last 10 minutes, oldest first: [{"seconds_ago",
// "datagrams_per_second"}], seconds before the snapshot was written.
inline constexpr char kRateHistory[] = "last_10_minutes";
inline constexpr char kSecondsAgo[] = "seconds_ago";
inline constexpr char kTime[] = "time";
inline constexpr char kAgeSeconds[] = "age_seconds";
inline constexpr char kConverted[] = "converted";
inline constexpr char kFailed[] = "failed";
inline constexpr char kEnded[] = "ended"; // ran past its time limit
inline constexpr char kWaiting[] = "waiting";
inline constexpr char kLast[] = "last"; // {"path", "result", "time"}; null before the first
// The last closed files, newest first: [{"path", "result", "time", "rinex", "quality", "summary"}].
inline constexpr char kRecent[] = "recent";
inline constexpr char kRinex[] = "rinex";     // written form; null when none
inline constexpr char kQuality[] = "quality"; // the quality report's absolute path; null when none
inline constexpr char kSummary[] = "summary"; // the quality report's one line; null when none
inline constexpr char kResult[] = "result";
inline constexpr char kNumber[] = "number";
inline constexpr char kText[] = "text"; // as recorded; empty until the poster has formed it
inline constexpr char kLastBeatMonotonic[] = "last_beat_monotonic";
inline constexpr char kBeatAgeSeconds[] = "beat_age_seconds";
inline constexpr char kStuck[] = "stuck"; // no beat for a few seconds, though the engine should run

// In "since_start": log file syncs that failed, so written data may be lost.
inline constexpr char kSyncFailures[] = "sync_failures";
} // namespace StatusSnapshot
