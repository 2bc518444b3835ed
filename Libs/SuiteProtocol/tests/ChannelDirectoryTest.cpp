// Channel table lookup and the data port's token.
#include "SuiteProtocol/ChannelDirectory.h"
#include "SuiteProtocol/DataPort.h"

#include <gtest/gtest.h>

TEST(ChannelPort, MatchesOnlyTheWholeCaseSensitiveName)
{
    EXPECT_EQ(SuiteProtocol::channelPort("RORUVIVOZO_CMD"), 5081);
    EXPECT_EQ(SuiteProtocol::channelPort(SuiteProtocol::commandChannelName("RORUVIVOZO")), 5081);
    for (const char* name : {"roruvivozo_cmd", "RORUVIVOZO_CMD ", "RORUVIVOZO_CM", "", " RORUVIVOZO_CMD"})
        EXPECT_EQ(SuiteProtocol::channelPort(name), 0) << '"' << name << '"';
}

TEST(ChannelPort, AnUnknownProcessNameHasNoCommandPort)
{
    EXPECT_EQ(SuiteProtocol::channelPort(SuiteProtocol::commandChannelName("OTHERLOGGER")), 0);
}

TEST(DataPort, ATokenOfZeroMeans3011)
{
    EXPECT_EQ(SuiteProtocol::dataPortFromToken(0), 3011);
    EXPECT_EQ(SuiteProtocol::dataPortFromToken(4100), 4100);
}
