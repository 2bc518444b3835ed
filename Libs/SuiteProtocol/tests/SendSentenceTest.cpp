// sendSentence against a plain socket on loopback.
#include "Loopback.h"

#include "SuiteProtocol/Sentence.h"

#include <gtest/gtest.h>

using namespace UdpTesting;

namespace
{

class SendSentence : public testing::Test
{
protected:
    void SetUp() override { loop.start(); }

    std::string destination() const { return "127.0.0.1:" + std::to_string(listener.port()); }

    IoThread loop;
    Listener listener;
};

} // namespace

TEST_F(SendSentence, SendsExactlyTheSentenceBytes)
{
    for (std::string_view sentence : {SuiteProtocol::kLoggingOn, SuiteProtocol::kLoggingOff})
    {
        ASSERT_TRUE(SuiteProtocol::sendSentence(loop.io, sentence.data(), sentence.size(), destination()));
        std::string got;
        ASSERT_TRUE(listener.receive(got));
        EXPECT_EQ(got, sentence);
        EXPECT_EQ(got.substr(got.size() - 2), "\x0A\x0D");
    }
}

TEST_F(SendSentence, ReportsFailuresOnStderrInsteadOfThrowing)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SuiteProtocol::sendSentence(loop.io, "x", 1, "127.0.0.1"));
    EXPECT_FALSE(SuiteProtocol::sendSentence(loop.io, "x", 1, "127.0.0.1:no-such-service"));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("invalid vector subscript"), std::string::npos) << errors;
    EXPECT_NE(errors.find("resolve"), std::string::npos) << errors;

    // A signal without payload sends nothing.
    EXPECT_FALSE(SuiteProtocol::sendSentence(loop.io, nullptr, 0, destination()));
    std::string got;
    EXPECT_FALSE(listener.receive(got, std::chrono::milliseconds(100)));
}
