// Reading the start parameters from a start sentence and from the token store.
#include "RORUVivozo/VelmorStartParameters.h"

#include "RORUVivozo/VelmorServices.h"

#include "SuiteProtocol/DataPort.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

class FakeTokens : public CVelmorTokens
{
public:
    std::int32_t integer(const std::string& name) override
    {
        asked.push_back(name);
        return std::map<std::string, std::int32_t>{{kTokenInterval, 15},
                                                   {SuiteProtocol::kDataPortToken, 3020}}
            .at(name);
    }
    std::string text(const std::string& name) override
    {
        asked.push_back(name);
        return std::map<std::string, std::string>{{kTokenLogDirectory, "C:\\tok"},
                                                  {kTokenLogFileName, "tok.rtcm"}}
            .at(name);
    }
    void setReport(ServiceReport) override {}
    std::vector<std::string> asked;
};

} // namespace

TEST(StartSentence, FieldsAndMissingFieldsFromTheTokenStore)
{
    struct Case
    {
        std::string sentence;
        StartParameters expected;
        std::size_t tokensRead;
    };
    const Case cases[] = {
        {"$PZELT,160,D:\\rtcm,base.rtcm,60,3011\n\r", {"D:\\rtcm", "base.rtcm", 60, 3011}, 0},
        {"$PZELT,160,D:\\rtcm,base.rtcm,60\n\r", {"D:\\rtcm", "base.rtcm", 60, 3020}, 1},
        {"$PZELT,160,D:\\rtcm,base.rtcm\n\r", {"D:\\rtcm", "base.rtcm", 15, 3020}, 2},
        {"$PZELT,160\n\r", {"C:\\tok", "tok.rtcm", 15, 3020}, 4},
        // An empty field is skipped and the later values move up one place.
        {"$PZELT,160,D:\\rtcm,base.rtcm,,3011\n\r", {"D:\\rtcm", "base.rtcm", 3011, 3020}, 1},
        {"$PZELT,160,,,D:\\x,b.rtcm,  -5x,70000\r\n", {"D:\\x", "b.rtcm", -5, 70000}, 0},
        {std::string("$PZELT,160,D:\\a,b.rtcm,1,2\0,9", 30), {"D:\\a", "b.rtcm", 1, 2}, 0},
    };
    for (const Case& c : cases)
    {
        FakeTokens tokens;
        const StartParameters got = parseStartSentence(c.sentence, tokens);
        EXPECT_EQ(got.directory, c.expected.directory) << c.sentence;
        EXPECT_EQ(got.fileName, c.expected.fileName) << c.sentence;
        EXPECT_EQ(got.interval, c.expected.interval) << c.sentence;
        EXPECT_EQ(got.port, c.expected.port) << c.sentence;
        EXPECT_EQ(tokens.asked.size(), c.tokensRead) << c.sentence;
    }
}
