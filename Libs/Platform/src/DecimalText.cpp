// The decimal-integer reader.
#include "Platform/DecimalText.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace Platform
{
namespace
{

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

DecimalPrefix readDecimalPrefix(std::string_view text)
{
    DecimalPrefix read;
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    // The magnitude stops growing once past the 64-bit range, so no digit run can overflow it.
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1;
    std::uint64_t magnitude = 0;
    for (; at < text.size() && isDigit(text[at]); ++at)
    {
        read.hasDigits = true;
        if (magnitude > kLimit / 10)
            magnitude = kLimit + 1;
        else
            magnitude = std::min<std::uint64_t>(magnitude * 10 + static_cast<std::uint64_t>(text[at] - '0'),
                                                kLimit + 1);
    }
    if (!read.hasDigits)
        return read;
    read.end = at;
    if (negative)
        read.value = magnitude >= kLimit ? std::numeric_limits<std::int64_t>::min()
                                         : -static_cast<std::int64_t>(magnitude);
    else
        read.value = magnitude >= kLimit ? std::numeric_limits<std::int64_t>::max()
                                         : static_cast<std::int64_t>(magnitude);
    return read;
}

std::optional<std::int64_t> wholeDecimal(std::string_view text, std::int64_t low, std::int64_t high)
{
    if (text.empty() || !(isDigit(text.front()) || (text.front() == '-' && text.size() > 1)))
        return std::nullopt;
    const DecimalPrefix read = readDecimalPrefix(text);
    if (!read.hasDigits || read.end != text.size() || read.value < low || read.value > high)
        return std::nullopt;
    return read.value;
}

std::int32_t clampedInt32(std::string_view text)
{
    return heldInt32(readDecimalPrefix(text).value);
}

std::int32_t heldInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::string groupedThousands(std::string_view number)
{
    const std::size_t sign = number.starts_with('-') ? 1 : 0;
    const std::size_t end = std::min(number.find('.'), number.size());
    std::string text(number.substr(0, sign));
    for (std::size_t i = sign; i < end; ++i)
    {
        if (i != sign && (end - i) % 3 == 0)
            text += ',';
        text += number[i];
    }
    text += number.substr(end);
    return text;
}

std::string counted(std::uint64_t count, std::string_view noun)
{
    return groupedThousands(std::to_string(count)) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

} // namespace Platform
