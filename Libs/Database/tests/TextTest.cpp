// Stored-text handling: the translate table, the Latin-1/escape decoding and checked message formatting.
#include "Database/MessageFormat.h"
#include "Database/TranslateChar.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace
{

class TranslateTableFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        directory =
            std::filesystem::temp_directory_path() / ("vivozo-translate-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(directory);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(directory);
    }
    void writeTable(std::size_t size)
    {
        std::string table(size, '?');
        for (std::size_t i = 0; i < size; ++i)
            table[i] = static_cast<char>(198 + i);
        std::ofstream(directory / "translate.bin", std::ios::binary) << table;
    }

    std::filesystem::path directory;
    std::filesystem::path previous;
};

TEST_F(TranslateTableFile, PatternsBecomeTheirTableBytesPassByPass)
{
    writeTable(100);
    CTranslateChar translator;
    ASSERT_TRUE(translator.enabled());
    EXPECT_EQ(translator.translate("!!AE"), "\xC6");
    EXPECT_EQ(translator.translate("!!AE!!AE"), "\xC6\xC6");
    EXPECT_EQ(translator.translate("Sk!!aa!!oe x !!o_"), "Sk\xCB\xC9 x \xD3");
    EXPECT_EQ(translator.translate("!!!AE"), "!\xC6");
    EXPECT_EQ(translator.translate("plain"), "plain");
    const std::string huge = std::string(2000, 'a') + "!!AE";
    EXPECT_EQ(translator.translate(huge), huge);
}

TEST_F(TranslateTableFile, ShortOrMissingTableLeavesTextsAlone)
{
    EXPECT_FALSE(CTranslateChar().enabled());
    EXPECT_EQ(CTranslateChar().translate("!!AE"), "!!AE");
    writeTable(99);
    CTranslateChar shortTable;
    EXPECT_FALSE(shortTable.enabled());
    EXPECT_EQ(shortTable.translate("!!AE"), "!!AE");
}

TEST(ToUtf8, DecodesLatin1BytesAndEscapes)
{
    struct Case
    {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"\xF8", "\xC3\xB8"},      // Latin-1 with a row
        {"\xB0", ""},              // Latin-1 without a row
        {"\xBA", ""},              // the row that maps to itself stays a raw byte
        {"\\u00E9", "\xC3\xA9"},   // escape
        {"\\u00e9x", "\xC3\xA9x"}, // either case, then text
        {"\\u41", "A"},            // fewer digits
        {"\\u0041B", "AB"},        // at most four digits
        {"\\u20AC", ""},           // beyond two bytes
        {"\\ux", "ux"},            // no digits: the letter
        {"a\\nb", "anb"},          // other escapes drop the backslash
        {"end\\", "end\\"},        // trailing backslash stays
        {"Sl\xE5 av og p\xE5", "Sl\xC3\xA5 av og p\xC3\xA5"},
        {"plain ASCII 100%", "plain ASCII 100%"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toUtf8(c.in), c.out) << "input: " << c.in;
}

TEST(FormatMessageText, FormatsFittingArgumentsAndKeepsTheTextOtherwise)
{
    struct Case
    {
        const char* format;
        std::vector<MessageArgument> arguments;
        std::string expected;
    };
    const Case cases[] = {
        {"open %s failed", {std::string("D:\\a'b.rtcm")}, "open D:\\a'b.rtcm failed"},
        {"below %d%% (%.2f/%.2f)", {50LL, 0.7, 0.3}, "below 50% (0.70/0.30)"},
        {"%5.1f|%-4s|%03i|%x|%c|%ld",
         {2.25, std::string("ab"), 7LL, 255LL, 65LL, 9LL},
         "  2.2|ab  |007|ff|A|9"},
        {"no conversions", {std::string("extra")}, "no conversions"},
        {"100%% sure", {}, "100% sure"},
        {"missing %s", {}, "missing %s"},
        {"%s as number", {5LL}, "%s as number"},
        {"%d as text", {std::string("x")}, "%d as text"},
        {"%d of real", {0.5}, "%d of real"},
        {"%f of integer", {5LL}, "%f of integer"},
        {"write %n", {5LL}, "write %n"},
        {"pointer %p", {5LL}, "pointer %p"},
        {"star %*d", {5LL, 5LL}, "star %*d"},
        {"dangling %", {}, "dangling %"},
        {"unknown %y", {5LL}, "unknown %y"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatMessageText(c.format, c.arguments, 398), c.expected) << "format: " << c.format;
}

TEST(FormatMessageText, CutsToTheLimit)
{
    EXPECT_EQ(formatMessageText("%s!", {std::string(500, 'x')}, 398), std::string(398, 'x'));
    EXPECT_EQ(formatMessageText(std::string(500, 'y') + "%d", {std::string("wrong")}, 398),
              std::string(398, 'y'));
}

TEST(ToMessageArgument, SortsArgumentsByKind)
{
    EXPECT_EQ(formatMessageText("%d %u %f %s %s",
                                {toMessageArgument(short{-3}), toMessageArgument(7u), toMessageArgument(1.5f),
                                 toMessageArgument("c"), toMessageArgument(std::string("s"))},
                                398),
              "-3 7 1.500000 c s");
    const char* none = nullptr;
    EXPECT_EQ(formatMessageText("%s", {toMessageArgument(none)}, 398), "(null)");
}

} // namespace
