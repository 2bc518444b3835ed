// The logger's data port: where it comes from and which ports it may never take.
#pragma once

#include <cstdint>

namespace SuiteProtocol
{

// Runtime token that overrides the data port.
inline constexpr char kDataPortToken[] = "RTCM_DATAPORT";

// Data port used when the token reads 0 (also what a missing token reads as).
inline constexpr std::int32_t kDefaultDataPort = 3011;

// The data port from the value of the "RTCM_DATAPORT" token: 3011 when it reads 0, the value otherwise.
// The receiver binds the low 16 bits of it.
std::int32_t dataPortFromToken(std::int32_t tokenValue);

// Why a data port may not be taken, or nullptr when it may. It must be a port (1-65535), and neither the
// command port nor the status port: a data socket there would take the operator's sentences away.
const char* dataPortRefusal(std::int32_t port, std::uint16_t commandPort);

} // namespace SuiteProtocol
