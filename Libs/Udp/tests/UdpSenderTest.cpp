// UdpSender and sendSentence against a plain socket on loopback.
#include "Loopback.h"

#include "Udp/Sentence.h"
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
        sender.Send("$PZELT,162,ON\n\r", to);
        std::string got;
        ASSERT_TRUE(listener.receive(got));
        EXPECT_EQ(got, "$PZELT,162,ON\n\r");
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

TEST_F(Sender, SendSentenceSendsExactlyTheSentenceBytes)
{
    for (std::string_view sentence : {Udp::kLoggingOn, Udp::kLoggingOff})
    {
        ASSERT_TRUE(Udp::sendSentence(loop.io, sentence.data(), sentence.size(), destination("127.0.0.1:")));
        std::string got;
        ASSERT_TRUE(listener.receive(got));
        EXPECT_EQ(got, sentence);
        EXPECT_EQ(got.substr(got.size() - 2), "\x0A\x0D");
    }
}

TEST_F(Sender, SendSentenceReportsFailuresOnStderrInsteadOfThrowing)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Udp::sendSentence(loop.io, "x", 1, "127.0.0.1"));
    EXPECT_FALSE(Udp::sendSentence(loop.io, "x", 1, "127.0.0.1:no-such-service"));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("invalid vector subscript"), std::string::npos) << errors;
    EXPECT_NE(errors.find("resolve"), std::string::npos) << errors;

    // A signal without payload sends nothing.
    EXPECT_FALSE(Udp::sendSentence(loop.io, nullptr, 0, destination("127.0.0.1:")));
    std::string got;
    EXPECT_FALSE(listener.receive(got, std::chrono::milliseconds(100)));
}
