// The compiled-in port plan of the Zelt suite and where the logger's sentences go.
#include "SuiteProtocol/ChannelDirectory.h"

#include <array>
#include <utility>

namespace SuiteProtocol
{
namespace
{

struct Channel
{
    std::string_view name;
    std::uint16_t port;
};

// Command channels in the 50x1 range, data channels in the 30x1 range, control channels in the 51x1
// range; the operator process receives status sentences on 4002.
constexpr std::array<Channel, 17> kChannels{{
    {"RORUVIVOZO_CMD", 5081},
    {"ZELTOPER_CMD", 5001},
    {"ZELTOPER_STATUS", kStatusPort},
    {"NAVIGATOR_CMD", 5011},
    {"NAVIGATOR_DATA", 3001},
    {"GYRO_CMD", 5021},
    {"GYRO_DATA", 3021},
    {"ECHOSOUNDER_CMD", 5031},
    {"ECHOSOUNDER_DATA", 3031},
    {"MOTION_CMD", 5041},
    {"MOTION_DATA", 3041},
    {"TIDE_CMD", 5051},
    {"TIDE_DATA", 3051},
    {"RTCMBASE_CMD", 5061},
    {"LOGVIEW_CMD", 5071},
    {"WATCHDOG_CTRL", 5101},
    {"TIMESYNC_CTRL", 5111},
}};

constexpr bool namesAreUnique()
{
    for (std::size_t i = 0; i < kChannels.size(); ++i)
        for (std::size_t j = i + 1; j < kChannels.size(); ++j)
            if (kChannels[i].name == kChannels[j].name)
                return false;
    return true;
}
static_assert(namesAreUnique(), "a channel name may appear only once");

} // namespace

std::uint16_t channelPort(std::string_view name)
{
    for (const Channel& channel : kChannels)
        if (channel.name == name)
            return channel.port;
    return 0;
}

std::string commandChannelName(std::string_view processName)
{
    return std::string(processName) + kCommandChannelSuffix;
}

std::string statusDestination()
{
    return "127.0.0.1:" + std::to_string(kStatusPort);
}

} // namespace SuiteProtocol
