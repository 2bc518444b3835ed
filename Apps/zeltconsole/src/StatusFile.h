// The status files that other processes rewrite whole (the logger's snapshot, a bridge's status), read
// as watch and serve both read them.
#pragma once

#include <QJsonObject>

#include <cstddef>
#include <string>

struct StatusFile
{
    std::string bytes;
    QJsonObject object;
    std::string problem; // missing, unreadable, no JSON object or stale; empty when fresh
};

// Whose file it is, in the words of its problems: "no status snapshot at PATH: the logger is not running".
struct StatusFileKind
{
    const char* noun;
    const char* writer;
};

inline constexpr StatusFileKind kLoggerSnapshot{"status snapshot", "the logger"};
inline constexpr StatusFileKind kBridgeStatus{"bridge status", "the bridge"};

// Reads the file at path (native), never through a link at its name: its writer renames a new file over
// it, so a link there was planted.
StatusFile readStatusFile(const std::string& path, const StatusFileKind& kind);

// A bridge's status file as readStatusFile reads it, also stale when written more than the logger's
// snapshot may be before nowUnix (seconds since 1970); a stale one keeps its object.
StatusFile readBridgeStatus(const std::string& path, double nowUnix);

// The wall clock, in seconds since 1970.
double unixNow();

// Reads at most limit bytes; false when the file holds more or a read fails.
bool readAtMost(int fd, std::size_t limit, std::string& body);
