// Reading received sentences, the drop trace line, and the sentence texts the logger sends.
#include "SuiteProtocol/Sentence.h"

#include <gtest/gtest.h>

using SuiteProtocol::SentenceDrop;

namespace
{

// The logger's own signal numbers and the engine's special ones.
constexpr std::int32_t kReserved[] = {52001, 52002, 56101, 56102, 56103, 57001, 60042, -1, -2, -99, 0};

SuiteProtocol::ParsedSentence parse(const std::string& bytes)
{
    return SuiteProtocol::parseSentence(bytes.data(), bytes.size(), kReserved);
}

} // namespace

TEST(ParseSentence, SentenceNumberBecomesSignal50000PlusN)
{
    struct Case
    {
        std::string bytes;
        std::int32_t signal;
    };
    const std::vector<Case> cases{
        {"$PZELT,15\n\r", 50015},
        {"$PZELT,160,D:\\rtcm,base.rtcm,60,3011\n\r", 50160},
        {"$PZELT,7\n\r", 50007},
        {"$PZELT,24,\n\r", 50024},
        {"$PZELT, +6\n\r", 50006},
        {"$PZELT,161x,foo", 50161},
        {std::string("$PZELT,15\n\r\0junk", 15), 50015},
        {"$PZELT,-49999", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.bytes);
        const SuiteProtocol::ParsedSentence parsed = parse(c.bytes);
        EXPECT_TRUE(parsed.accepted()) << SuiteProtocol::sentenceDropReason(parsed.drop);
        EXPECT_EQ(parsed.signal, c.signal);
    }
}

TEST(ParseSentence, AStartSentenceCarriesItsFieldsAsGiven)
{
    const std::string start = SuiteProtocol::startSentence("D:\\rtcm", "base.rtcm", 60, 3011);
    EXPECT_EQ(start, "$PZELT,160,D:\\rtcm,base.rtcm,60,3011\n\r");
    EXPECT_EQ(parse(start).signal, 50160);
    // A stored interval goes in as written, not as the number it would read as.
    EXPECT_EQ(SuiteProtocol::startSentence("D:\\rtcm", "base.rtcm", std::string_view(" 15x"), 3011),
              "$PZELT,160,D:\\rtcm,base.rtcm, 15x,3011\n\r");
}

TEST(ParseSentence, DropsWhatIsNotAPlainOperatorSentence)
{
    struct Case
    {
        std::string bytes;
        SentenceDrop drop;
    };
    const std::vector<Case> cases{
        {"$pzelt,15\n\r", SentenceDrop::NotASentence},
        {"", SentenceDrop::NotASentence},
        {std::string("\0$PZELT,15\n\r", 12), SentenceDrop::NotASentence},
        {"\xb5\x62\x01\x02", SentenceDrop::NotASentence},
        {"$PZELTX,15\n\r", SentenceDrop::NotASentence},
        {"$PZELT\n\r", SentenceDrop::NoNumber},
        {"$PZELT,\n\r", SentenceDrop::NoNumber},
        {"$PZELT,,15\n\r", SentenceDrop::NoNumber},
        {"$PZELT,ON\n\r", SentenceDrop::NoNumber},
        {"$PZELT,-\n\r", SentenceDrop::NoNumber},
        {"$PZELT,2147483648\n\r", SentenceDrop::NumberOutOfRange},
        {"$PZELT,-2147483649\n\r", SentenceDrop::NumberOutOfRange},
        {"$PZELT,99999999999999999999999\n\r", SentenceDrop::NumberOutOfRange},
        // Fits 32 bits but its signal number does not.
        {"$PZELT,2147483600\n\r", SentenceDrop::NumberOutOfRange},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.bytes);
        const SuiteProtocol::ParsedSentence parsed = parse(c.bytes);
        EXPECT_EQ(parsed.drop, c.drop);
        EXPECT_FALSE(parsed.accepted());
    }
}

TEST(ParseSentence, DropsNumbersOfTheProgramsOwnSignals)
{
    for (int number : {2001, 2002, 6101, 6102, 6103, 7001, 10042, -50001, -50002, -50099, -50000})
    {
        const std::string bytes = "$PZELT," + std::to_string(number) + ",1,2,3\n\r";
        EXPECT_EQ(parse(bytes).drop, SentenceDrop::ReservedNumber) << bytes;
    }
    EXPECT_TRUE(parse("$PZELT,7000\n\r").accepted());
}

TEST(SentenceDropTrace, NamesTheReasonAndEscapesTheFirstBytes)
{
    const std::string bytes("$pzelt,15\x01\\%s\n\r", 15);
    EXPECT_EQ(SuiteProtocol::sentenceDropTrace(SentenceDrop::NotASentence, bytes.data(), bytes.size()),
              "\n\tWARNING: command datagram dropped (not a $PZELT sentence), 15 bytes: "
              "$pzelt,15\\x01\\\\%s\\n\\r");

    const std::string longer(100, 'A');
    const std::string line =
        SuiteProtocol::sentenceDropTrace(SentenceDrop::NoNumber, longer.data(), longer.size());
    EXPECT_NE(line.find("(no sentence number), 100 bytes: " + std::string(48, 'A') + "..."),
              std::string::npos)
        << line;
    EXPECT_EQ(line.find(std::string(49, 'A')), std::string::npos);
}

TEST(SentenceTexts, EveryTextTheLoggerSendsOrBuildsParsesAsItsOwnNumber)
{
    EXPECT_EQ(parse(std::string(SuiteProtocol::kLoggingOn)).signal, 50162);
    EXPECT_EQ(parse(std::string(SuiteProtocol::kLoggingOff)).signal, 50162);
    EXPECT_EQ(parse(std::string(SuiteProtocol::kLoggingSelectedOn)).signal, 50163);
    EXPECT_EQ(parse(std::string(SuiteProtocol::kLoggingSelectedOff)).signal, 50163);
    EXPECT_EQ(parse(std::string(SuiteProtocol::kTerminateSelf)).signal, 50024);
    EXPECT_EQ(parse(std::string(SuiteProtocol::kNewMessage)).signal, 50032);
    EXPECT_EQ(SuiteProtocol::sentenceText(SuiteProtocol::kSentenceStatus), "$PZELT,15\n\r");
}
