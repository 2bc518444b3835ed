// zeltconsole serve: the logger's state as a page in a browser, served read-only over HTTP.
#pragma once

#include <string>
#include <vector>

// The address the server listens on unless told otherwise: loopback only.
inline constexpr char kDefaultServeAddress[] = "127.0.0.1:8080";

// Serves until SIGINT or SIGTERM. listen is "ADDR:PORT" ("[ADDR]:PORT" for IPv6; port 0: the system
// picks one); snapshotPath, logFolder and the bridges' status files as given (Windows-style or native).
// Returns the exit status: 0 when ended by a signal, 1 when it cannot listen, 2 for a bad address.
int serveStatus(const std::string& listen, const std::string& snapshotPath, const std::string& logFolder,
                const std::vector<std::string>& bridgePaths);
