// The channel directory: the well-known UDP ports of the Zelt suite's processes, and where the logger's
// sentences go.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace SuiteProtocol
{

// Port on the local host where the operator process listens for the logger's sentences.
inline constexpr std::uint16_t kStatusPort = 4002;

// Where every outgoing sentence goes: "127.0.0.1:" and the status port.
std::string statusDestination();

// Appended to the process name to form the name of its command channel.
inline constexpr char kCommandChannelSuffix[] = "_CMD";

// Port of the channel with exactly this name (case-sensitive, whole length), 0 when none matches.
std::uint16_t channelPort(std::string_view name);

// Command channel name of a process: "RORUVIVOZO" gives "RORUVIVOZO_CMD".
std::string commandChannelName(std::string_view processName);

} // namespace SuiteProtocol
