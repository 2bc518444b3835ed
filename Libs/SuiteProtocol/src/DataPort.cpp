// The logger's data port: its token and the ports it may never take.
#include "SuiteProtocol/DataPort.h"

#include "SuiteProtocol/ChannelDirectory.h"

namespace SuiteProtocol
{

std::int32_t dataPortFromToken(std::int32_t tokenValue)
{
    return tokenValue == 0 ? kDefaultDataPort : tokenValue;
}

const char* dataPortRefusal(std::int32_t port, std::uint16_t commandPort)
{
    if (port < 1 || port > 65535)
        return "not a port of 1-65535";
    if (port == commandPort)
        return "the command port";
    if (port == kStatusPort)
        return "the status port";
    return nullptr;
}

} // namespace SuiteProtocol
