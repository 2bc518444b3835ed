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
inline constexpr char kStarted[] = "started";
inline constexpr char kState[] = "state";   // "starting", "reading parameters", "waiting for a start", ...
inline constexpr char kStatus[] = "status"; // the one line the service manager shows
inline constexpr char kFile[] = "file";     // null while no file is open
inline constexpr char kSinceStart[] = "since_start";
inline constexpr char kRate[] = "rate";
inline constexpr char kLastDatagram[] = "last_datagram"; // null before the first
inline constexpr char kConversions[] = "conversions";
inline constexpr char kMessages[] = "messages";              // operator messages by number: {"1424": 2}
inline constexpr char kRecentMessages[] = "recent_messages"; // newest first: [{"number", "time"}]

// In "file", "since_start", "rate", "last_datagram", "conversions" and the recent messages.
inline constexpr char kPath[] = "path";
inline constexpr char kOpened[] = "opened";
inline constexpr char kDatagrams[] = "datagrams";
inline constexpr char kBytes[] = "bytes";
inline constexpr char kFiles[] = "files";
inline constexpr char kKernelDrops[] = "kernel_drops"; // null where the kernel does not say
inline constexpr char kDatagramsPerSecond[] = "datagrams_per_second";
inline constexpr char kBytesPerSecond[] = "bytes_per_second";
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
} // namespace StatusSnapshot
