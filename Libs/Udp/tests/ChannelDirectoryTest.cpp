// Channel table lookup and the logger's own addresses.
#include "Udp/ChannelDirectory.h"

#include <gtest/gtest.h>

TEST(ChannelPort, MatchesOnlyTheWholeCaseSensitiveName)
{
    EXPECT_EQ(Udp::channelPort("RORUVIVOZO_CMD"), 5081);
    EXPECT_EQ(Udp::channelPort(Udp::commandChannelName("RORUVIVOZO")), 5081);
    for (const char* name : {"roruvivozo_cmd", "RORUVIVOZO_CMD ", "RORUVIVOZO_CM", "", " RORUVIVOZO_CMD"})
        EXPECT_EQ(Udp::channelPort(name), 0) << '"' << name << '"';
}

TEST(ChannelPort, AnUnknownProcessNameHasNoCommandPort)
{
    EXPECT_EQ(Udp::channelPort(Udp::commandChannelName("OTHERLOGGER")), 0);
}

TEST(DataPort, ATokenOfZeroMeans3011)
{
    EXPECT_EQ(Udp::dataPortFromToken(0), 3011);
    EXPECT_EQ(Udp::dataPortFromToken(4100), 4100);
}
