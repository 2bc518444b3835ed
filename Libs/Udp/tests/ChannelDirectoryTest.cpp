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
    EXPECT_EQ(Udp::restartAddress(4100), ":4100");
}

TEST(DataPort, MayNotTakeTheCommandOrStatusPortOrANumberThatIsNoPort)
{
    for (const int port : {1, 3011, 5080, 65535})
        EXPECT_EQ(Udp::dataPortRefusal(port, 5081), nullptr) << port;
    EXPECT_STREQ(Udp::dataPortRefusal(5081, 5081), "the command port");
    EXPECT_STREQ(Udp::dataPortRefusal(4002, 5081), "the status port");
    for (const int port : {0, -1, 65536, 70000})
        EXPECT_STREQ(Udp::dataPortRefusal(port, 5081), "not a port of 1-65535") << port;
}

TEST(StatusDestination, IsTheLoopbackPort4002)
{
    EXPECT_STREQ(Udp::kStatusDestination, "127.0.0.1:4002");
}
