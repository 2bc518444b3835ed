// Reading the start parameters from a start sentence and from the token store.
#include "RORUVivozo/VelmorStartParameters.h"

#include "SuiteProtocol/DataPort.h"

#include <gtest/gtest.h>

#include <map>

namespace
{

TokenReader fakeTokens(std::vector<std::string>* asked)
{
    static const std::map<std::string, std::string> texts{{kTokenLogDirectory, "C:\\tok"},
                                                          {kTokenLogFileName, "tok.rtcm"}};
    static const std::map<std::string, std::int32_t> integers{{kTokenInterval, 15},
                                                              {SuiteProtocol::kDataPortToken, 3020}};
    return {[asked](const std::string& name)
            {
                asked->push_back(name);
                return integers.at(name);
            },
            [asked](const std::string& name)
            {
                asked->push_back(name);
                return texts.at(name);
            }};
}

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
        std::vector<std::string> asked;
        const StartParameters got = parseStartSentence(c.sentence, fakeTokens(&asked));
        EXPECT_EQ(got.directory, c.expected.directory) << c.sentence;
        EXPECT_EQ(got.fileName, c.expected.fileName) << c.sentence;
        EXPECT_EQ(got.interval, c.expected.interval) << c.sentence;
        EXPECT_EQ(got.port, c.expected.port) << c.sentence;
        EXPECT_EQ(asked.size(), c.tokensRead) << c.sentence;
    }
}
