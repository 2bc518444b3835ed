// The bridge's status: one JSON document that rtcmbridge rewrites (write, then rename) once a second and
// the console's watch reads. "program", "pid", "started", "written" and "written_unix" are those of the
// logger's snapshot (StatusSnapshot.h); these are the bridge's own keys.
#pragma once

namespace BridgeSnapshot
{
inline constexpr char kProgram[] = "rtcmbridge";

inline constexpr char kSource[] = "source";            // as given, without a password
inline constexpr char kDestination[] = "to";           // "127.0.0.1:3011"
inline constexpr char kConnected[] = "connected";      // true or false
inline constexpr char kSince[] = "since";              // when it connected, or lost the source; null before
inline constexpr char kConnection[] = "connection";    // what the source answered: "NTRIP 2.0", a client...
inline constexpr char kNextAttempt[] = "next_attempt"; // while not connected; null otherwise
inline constexpr char kBytes[] = "bytes";              // read from the source
inline constexpr char kFrames[] = "frames";            // whole frames with a good CRC
inline constexpr char kBadCrcFrames[] = "bad_crc_frames";
inline constexpr char kBytesOutsideFrames[] = "bytes_outside_frames";
inline constexpr char kDatagramsSent[] = "datagrams_sent";
inline constexpr char kSendFailures[] = "send_failures";
inline constexpr char kReconnects[] = "reconnects"; // connections made again after a loss
inline constexpr char kLastFrame[] = "last_frame";  // {"time", "age_seconds"}, or null before the first
inline constexpr char kLastError[] = "last_error";  // {"text", "time"}, or null before the first
inline constexpr char kText[] = "text";
inline constexpr char kTime[] = "time";
} // namespace BridgeSnapshot
