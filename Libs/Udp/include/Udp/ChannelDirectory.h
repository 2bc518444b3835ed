// The channel directory: the well-known UDP ports of the Zelt suite's processes, and the logger's own
// data port and status destination.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Udp
{

// Runtime token that overrides the data port.
inline constexpr char kDataPortToken[] = "RTCM_DATAPORT";

// Data port used when the token reads 0 (also what a missing token reads as).
inline constexpr std::int32_t kDefaultDataPort = 3011;

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

// The data port from the value of the "RTCM_DATAPORT" token: 3011 when it reads 0, the value otherwise.
// The receiver binds the low 16 bits of it.
std::int32_t dataPortFromToken(std::int32_t tokenValue);

// Why a data port may not be taken, or nullptr when it may. It must be a port (1-65535), and neither the
// command port nor the status port: a data socket there would take the operator's sentences away.
const char* dataPortRefusal(std::int32_t port, std::uint16_t commandPort);

} // namespace Udp
