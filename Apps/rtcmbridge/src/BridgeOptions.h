// Command line of rtcmbridge: the source, where its frames go, the status file and the limits.
#pragma once

#include "GgaSentence.h"
#include "SourceAddress.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where the source comes from when the command line leaves it out, so that a caster's password never
// shows in the process list: the service's configuration file sets it.
inline constexpr char kSourceVariable[] = "RTCMBRIDGE_SOURCE";

struct BridgeOptions
{
    SourceAddress source;
    std::string toHost = "127.0.0.1"; // the logger's data port
    std::uint16_t toPort = 3011;
    std::string statusPath; // native or Windows-style; empty: none
    std::chrono::seconds silenceLimit{30};
    std::optional<GgaPosition> gga;
    std::chrono::seconds ggaEvery{10};
    bool help = false;
    bool version = false;

    std::string destination() const { return toHost + ":" + std::to_string(toPort); }
};

// The arguments after the program name, and the value of kSourceVariable (nullptr when unset). False
// with a message for bad usage.
bool parseBridgeOptions(const std::vector<std::string>& args, const char* sourceVariable,
                        BridgeOptions& options, std::string& error);

std::string bridgeUsage();
