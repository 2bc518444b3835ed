// The status as people and tools read it: the service manager's one line, the JSON snapshot and the
// Prometheus text exposition.
#pragma once

#include "RORUVivozo/VelmorStatus.h"

#include <string>
#include <sys/types.h>

// Every state name the status may show, in the order of the control's table.
inline constexpr const char* kLoggerStateNames[] = {"starting",
                                                    "reading parameters",
                                                    "waiting for a start",
                                                    "started, waiting for data",
                                                    "logging",
                                                    "database unreadable, retrying",
                                                    "stopping"};

// "logging C:\rtcm\base.rtcm: 1,234 datagrams, 98.7 kB, 10.0/s, last 0.1 s ago; 3 files converted, 0 failed"
std::string statusLine(const LoggerSnapshot& snapshot);
std::string statusJson(const LoggerSnapshot& snapshot, pid_t pid);
std::string statusMetrics(const LoggerSnapshot& snapshot);
