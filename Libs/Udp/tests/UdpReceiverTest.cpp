// UdpReceiver on ephemeral loopback ports: delivery, drops, Restart and Stop.
#include "Loopback.h"

#include "Udp/UdpReceiver.h"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

using namespace UdpTesting;
using Udp::UdpReceiver;

namespace
{

class Receiver : public testing::Test
{
protected:
    void SetUp() override
    {
        collector.wire(receiver);
        receiver.Start(0);
        loop.start();
    }

    std::uint16_t port() const { return receiver.LocalPort(); }

    IoThread loop;
    Collector collector;
    UdpReceiver receiver{*loop.io};
};

} // namespace

TEST_F(Receiver, DeliversEachDatagramWhole)
{
    std::string binary(200, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7);
    const std::string largest(65507, 'x');

    sendTo(port(), binary);
    sendTo(port(), largest);

    ASSERT_TRUE(collector.waitForDatagrams(2));
    EXPECT_EQ(collector.datagrams()[0], binary);
    EXPECT_EQ(collector.datagrams()[1], largest);
}

TEST_F(Receiver, ZeroLengthDatagramReachesNoCallbackAndTheNextOneDoes)
{
    sendTo(port(), "");
    sendTo(port(), "after");

    ASSERT_TRUE(collector.waitForDatagrams(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(collector.datagrams(), std::vector<std::string>{"after"});
}

TEST_F(Receiver, EmptyDataCallbackReceivesAndDropsDatagrams)
{
    receiver.SetDataCallback(nullptr);
    for (int i = 0; i < 3; ++i)
        sendTo(port(), "dropped");
    // Loopback datagrams are taken within microseconds: these are gone before the callback is back.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    collector.wire(receiver);
    sendTo(port(), "kept");
    ASSERT_TRUE(collector.waitForDatagrams(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(collector.datagrams(), std::vector<std::string>{"kept"});
}

TEST_F(Receiver, StopEndsTheReceiveLoop)
{
    const std::uint16_t oldPort = port();
    receiver.Stop();

    EXPECT_EQ(receiver.LocalPort(), 0);
    sendTo(oldPort, "late");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(collector.datagrams().empty());
}

TEST_F(Receiver, StopThenRestartDeliversEachDatagramOnceAndInOrder)
{
    receiver.Stop();
    receiver.Restart(0, "Receiving again");
    ASSERT_NE(port(), 0);
    // Restart straight after Restart must not leave the first loop running either.
    receiver.Restart(0, "Receiving again");
    ASSERT_NE(port(), 0);

    for (int i = 0; i < 5; ++i)
        sendTo(port(), "d" + std::to_string(i));
    ASSERT_TRUE(collector.waitForDatagrams(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(collector.datagrams(), (std::vector<std::string>{"d0", "d1", "d2", "d3", "d4"}));
}

TEST(ReceiverBind, PortTakenWithoutReuseFailsStartWithBindAndRestartWithALogText)
{
    Listener holder; // bound without SO_REUSEADDR, so nobody else may bind its port
    IoThread loop;
    Collector collector;
    UdpReceiver receiver(*loop.io);
    collector.wire(receiver);

    try
    {
        receiver.Start(holder.port());
        FAIL() << "Start bound a taken port";
    }
    catch (const boost::system::system_error& e)
    {
        EXPECT_EQ(std::string(e.what()).rfind("bind", 0), 0u) << e.what();
    }

    loop.start();
    receiver.Restart(holder.port(), "Receiving again");
    EXPECT_EQ(collector.logs().back().rfind("bind: ", 0), 0u) << collector.logs().back();
    EXPECT_EQ(receiver.LocalPort(), 0);
}

TEST_F(Receiver, AThrowingDataCallbackIsReportedAndTheLoopGoesOn)
{
    bool thrown = false;
    receiver.SetDataCallback(
        [&](const char*, std::uint64_t)
        {
            if (!thrown)
            {
                thrown = true;
                throw std::runtime_error("disk full");
            }
        });
    sendTo(port(), "first");
    ASSERT_TRUE(eventually(
        [&] {
            return !collector.logs().empty() && collector.logs().back() == "data callback failed: disk full";
        }));
    collector.wire(receiver);
    sendTo(port(), "second");
    ASSERT_TRUE(collector.waitForDatagrams(1));
    EXPECT_EQ(collector.datagrams()[0], "second");
}
