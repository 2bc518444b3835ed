// The status as people and tools read it: the service manager's one line, the JSON snapshot and the
// Prometheus text exposition.
#pragma once

#include "RORUVivozo/VelmorStatus.h"

#include <string>
#include <sys/types.h>

// "logging C:\rtcm\base.rtcm: 1,234 datagrams, 98.7 kB, 10.0/s, last 0.1 s ago; 3 files converted, 0 failed",
// led by "stuck: the engine has not run for 4 s; " and "no data for 25 s; " when they hold.
std::string statusLine(const LoggerSnapshot& snapshot);
// line: the snapshot's statusLine; bootId: Platform::bootId(), under which its monotonic readings hold.
std::string statusJson(const LoggerSnapshot& snapshot, const std::string& line, pid_t pid,
                       const std::string& bootId);
std::string statusMetrics(const LoggerSnapshot& snapshot);
