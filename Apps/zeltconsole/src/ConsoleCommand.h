// Command line of the operator console: which sentence to send, where to, and how long to wait for answers.
#pragma once

#include <cstdint>
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
    // A start is answered only once the first datagram has opened the file: silence is no failure.
    bool answeredByFirstDatagram = false;
    std::int32_t dataPort = 0;
    // watch: show the logger's status snapshot instead of sending a sentence.
    bool watch = false;
    bool once = false;
    std::string statusPath; // as given, Windows-style or native
};

// Reads the arguments after the program name. Returns false with a message for bad usage.
bool parseConsoleCommand(const std::vector<std::string>& args, ConsoleCommand& command, std::string& error);

// The --help text.
std::string consoleUsage();
