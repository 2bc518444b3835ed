// Receiver behaviour on fixed ports: the port its texts name, and those that Restart's conversion lands on.
#include "Loopback.h"

#include "Udp/UdpReceiver.h"

#include <gtest/gtest.h>

using namespace UdpTesting;
using Udp::UdpReceiver;

namespace
{

// Fixed, so that the texts show its digits; a restart on 70000 lands here too.
constexpr std::uint16_t kFixedPort = 4464;

} // namespace

TEST(FixedPort, StartLogsItsTextsInOrder)
{
    IoThread loop;
    Collector collector;
    UdpReceiver receiver(*loop.io);
    collector.wire(receiver);

    receiver.Start(kFixedPort);
    loop.start();

    const std::vector<std::string> logs = collector.logs();
    ASSERT_GE(logs.size(), 4u);
    EXPECT_EQ(logs[0], "Bind to input port 4464");
    EXPECT_EQ(logs[1], "Bound to input port");
    EXPECT_EQ(logs[2], "UDP receive starting");
    EXPECT_EQ(logs[3].rfind("Receive buffer size ", 0), 0u) << logs[3];

    sendTo(kFixedPort, "hello");
    ASSERT_TRUE(collector.waitForDatagrams(1));
    EXPECT_EQ(collector.datagrams()[0], "hello");
}

TEST(FixedPort, RestartBindsTheLow16BitsOfThePort)
{
    struct Case
    {
        std::int32_t requested;
        std::uint16_t port;
    };
    const std::vector<Case> cases{{70000, kFixedPort}, {-1, 65535}, {3011, 3011}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.requested);
        IoThread loop;
        Collector collector;
        UdpReceiver receiver(*loop.io);
        collector.wire(receiver);
        receiver.Start(0);
        loop.start();

        receiver.Stop();
        receiver.Restart(c.requested, "Receiving again");

        EXPECT_EQ(receiver.LocalPort(), c.port);
        const std::vector<std::string> logs = collector.logs();
        ASSERT_GE(logs.size(), 4u);
        EXPECT_EQ(logs[logs.size() - 3], "Bound to input port");
        EXPECT_EQ(logs[logs.size() - 2], "Receiving again");
        sendTo(c.port, "hello");
        ASSERT_TRUE(collector.waitForDatagrams(1));
        EXPECT_EQ(collector.datagrams()[0], "hello");
    }
}
