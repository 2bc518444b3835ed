// Splitting, trimming and number conversion shared by the sentence parser, Restart and the sender.
#include "TextFields.h"

#include <cctype>

namespace Udp::detail
{

std::vector<std::string> splitFields(std::string_view text, char separator)
{
    std::vector<std::string> fields;
    std::size_t begin = 0;
    while (begin < text.size())
    {
        const std::size_t end = text.find(separator, begin);
        if (end == std::string_view::npos)
        {
            fields.emplace_back(text.substr(begin));
            break;
        }
        fields.emplace_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return fields;
}

std::string trim(std::string_view text)
{
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

IntResult toInt32(std::string_view text, std::int32_t& value)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
        return IntResult::NoDigits;

    // Accumulate in 64 bits and stop counting once past the 32-bit range, so long digit runs cannot overflow.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    bool tooLarge = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    {
        if (!tooLarge)
        {
            magnitude = magnitude * 10 + (text[i] - '0');
            tooLarge = magnitude > limit;
        }
    }
    if (tooLarge)
        return IntResult::OutOfRange;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return IntResult::Ok;
}

} // namespace Udp::detail
