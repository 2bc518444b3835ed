// The decimal reader on the texts that reach it: fields, options, arguments, hostile digit runs.
#include "Platform/DecimalText.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

TEST(DecimalText, ReadsAPrefixAsStrtolWouldAndHoldsEveryValueAtItsLimits)
{
    struct Row
    {
        std::string text;
        bool hasDigits;
        std::int64_t value;
        std::int32_t clamped;
    };
    constexpr std::int64_t max64 = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t min64 = std::numeric_limits<std::int64_t>::min();
    const Row rows[] = {
        {"  42x", true, 42, 42},
        {"+7,3011", true, 7, 7},
        {"-15", true, -15, -15},
        {"", false, 0, 0},
        {"-", false, 0, 0},
        {"often", false, 0, 0},
        {"2147483648", true, 2147483648LL, 2147483647},
        {"-2147483649", true, -2147483649LL, -2147483647 - 1},
        {"9223372036854775807", true, max64, 2147483647},
        {"-9223372036854775808", true, min64, -2147483647 - 1},
        {std::string(400, '9'), true, max64, 2147483647},
        {"-" + std::string(400, '9'), true, min64, -2147483647 - 1},
    };
    for (const Row& row : rows)
    {
        const Platform::DecimalPrefix read = Platform::readDecimalPrefix(row.text);
        EXPECT_EQ(read.hasDigits, row.hasDigits) << row.text;
        EXPECT_EQ(read.value, row.value) << row.text;
        EXPECT_EQ(Platform::clampedInt32(row.text), row.clamped) << row.text;
    }
    EXPECT_EQ(Platform::readDecimalPrefix(" -12ab").end, 4u);
}

TEST(DecimalText, AWholeNumberIsDigitsAloneWithinItsRange)
{
    EXPECT_EQ(Platform::wholeDecimal("4095", 0, 4095), 4095);
    EXPECT_EQ(Platform::wholeDecimal("-3", -5, 5), -3);
    const std::string texts[] = {"4096", "-1", " 5", "+5", "5 ", "5x", "", "-", std::string(30, '9')};
    for (const std::string& text : texts)
        EXPECT_FALSE(Platform::wholeDecimal(text, 0, 4095).has_value()) << '"' << text << '"';
}

TEST(DecimalText, AStartFieldStopsAtTheFirstOtherCharacter)
{
    EXPECT_EQ(Platform::clampedInt32(" 60"), 60);
    EXPECT_EQ(Platform::clampedInt32("+7min"), 7);
    EXPECT_EQ(Platform::clampedInt32("-12"), -12);
    EXPECT_EQ(Platform::clampedInt32(""), 0);
    EXPECT_EQ(Platform::clampedInt32("abc"), 0);
    EXPECT_EQ(Platform::clampedInt32("99999999999"), 2147483647);
    EXPECT_EQ(Platform::clampedInt32("-99999999999"), -2147483647 - 1);
}
