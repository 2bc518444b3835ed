// Type-checked printf-style formatting of message texts that come from the database.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

using MessageArgument = std::variant<long long, double, std::string>;

template <typename T> MessageArgument toMessageArgument(const T& value)
{
    if constexpr (std::is_same_v<T, bool> || std::is_integral_v<T> || std::is_enum_v<T>)
        return static_cast<long long>(value);
    else if constexpr (std::is_floating_point_v<T>)
        return static_cast<double>(value);
    else if constexpr (std::is_convertible_v<const T&, const char*>)
    {
        const char* text = value;
        return std::string(text != nullptr ? text : "(null)");
    }
    else
        return std::string(std::string_view(value));
}

// Formats the text with the arguments. The text is checked first: every conversion must have an
// argument of its kind (%s text; %d %i %u %x %X %o %c integer; %f %F %e %E %g %G %a %A floating point);
// when it does not fit, the result is the text itself. Either way at most maxLength characters.
std::string formatMessageText(std::string_view format, const std::vector<MessageArgument>& arguments,
                              std::size_t maxLength);
