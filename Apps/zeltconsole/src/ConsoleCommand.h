// Command line of the operator console: which sentence to send, where to, and how long to wait for answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ConsoleCommand
{
    std::string host = "127.0.0.1";
    std::uint16_t port = 0; // command port; 0 until set from --port or the channel table
    std::uint16_t listenPort = 0;
    int timeoutMs = 3000;
    int quietMs = 300;
    bool wait = true;
    bool help = false;
    bool version = false;
    std::string sentence; // the bytes to send
    // A start is answered only once the first datagram has opened the file: silence is no failure. Its
    // data port (0: the logger's own).
    std::optional<std::int32_t> startDataPort;
    bool once = false;
    // Set for watch only, which shows this snapshot instead of sending a sentence; as given, Windows-style
    // or native.
    std::string statusPath;
    std::vector<std::string> bridgePaths; // watch, serve: rtcmbridge status files shown beside the logger's
    bool watches() const { return !serves && !statusPath.empty(); }
    // serve: the page's server, on listenAddress ("ADDR:PORT"), serving reports below logFolder.
    bool serves = false;
    std::string listenAddress;
    std::string logFolder;
};

// Reads the arguments after the program name. Returns false with a message for bad usage.
bool parseConsoleCommand(const std::vector<std::string>& args, ConsoleCommand& command, std::string& error);

// The --help text.
std::string consoleUsage();
