// UdpSender against a plain socket on loopback.
#include "Loopback.h"

#include "Udp/UdpSender.h"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

using namespace UdpTesting;

namespace
{

class Sender : public testing::Test
{
protected:
    void SetUp() override { loop.start(); }

    std::string destination(const std::string& before, const std::string& after = "") const
    {
        return before + std::to_string(listener.port()) + after;
    }

    IoThread loop;
    Listener listener;
};

} // namespace

TEST_F(Sender, BlanksAroundHostAndPortSendToTheSamePlace)
{
    const std::vector<std::string> destinations{
        destination("127.0.0.1:"), destination(" 127.0.0.1 :\t"),         destination("127.0.0.1: ", " "),
        destination("localhost:"), destination("127.0.0.1:", ":ignored"),
    };
    for (const std::string& to : destinations)
    {
        SCOPED_TRACE(to);
        Udp::UdpSender sender(loop.io);
        sender.Send("one datagram\n\r", to);
        std::string got;
        ASSERT_TRUE(listener.receive(got));
        EXPECT_EQ(got, "one datagram\n\r");
    }
}

TEST_F(Sender, ZeroByteTextIsSentAsAnEmptyDatagram)
{
    Udp::UdpSender sender(loop.io);
    sender.Send("", destination("127.0.0.1:"));
    std::string got = "unchanged";
    ASSERT_TRUE(listener.receive(got));
    EXPECT_TRUE(got.empty());
}

TEST_F(Sender, BadDestinationsRaiseInTheCallersThreadAndSendNothing)
{
    Udp::UdpSender sender(loop.io);
    EXPECT_THROW(sender.Send("x", "127.0.0.1"), std::out_of_range);
    EXPECT_THROW(sender.Send("x", "127.0.0.1:"), std::out_of_range);
    try
    {
        sender.Send("x", "127.0.0.1:no-such-service");
        FAIL() << "resolved a port that does not exist";
    }
    catch (const boost::system::system_error& e)
    {
        EXPECT_EQ(std::string(e.what()).rfind("resolve", 0), 0u) << e.what();
    }
    std::string got;
    EXPECT_FALSE(listener.receive(got, std::chrono::milliseconds(100)));
}
