// Type-checked printf-style formatting of message texts that come from the database.
#include "Database/MessageFormat.h"

#include <fmt/printf.h>

#include <cstring>
#include <optional>

namespace
{

enum class Kind
{
    Integer,
    Floating,
    Text
};

struct Piece
{
    std::string_view literal;    // text before the conversion, "%%" still doubled
    std::string_view conversion; // the whole "%...x", empty after the last conversion
    Kind kind = Kind::Text;
};

std::optional<Kind> kindOf(char conversion)
{
    if (std::strchr("diuxXoc", conversion) != nullptr)
        return Kind::Integer;
    if (std::strchr("fFeEgGaA", conversion) != nullptr)
        return Kind::Floating;
    if (conversion == 's')
        return Kind::Text;
    return std::nullopt;
}

// Splits the format into literal text and conversions; nothing when a conversion is one we do not take
// (%n, %p, '*' widths, an unknown or missing letter).
std::optional<std::vector<Piece>> parse(std::string_view format)
{
    std::vector<Piece> pieces;
    std::size_t literalStart = 0;
    std::size_t i = 0;
    while (i < format.size())
    {
        if (format[i] != '%')
        {
            ++i;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%')
        {
            i += 2;
            continue;
        }
        const std::size_t start = i++;
        while (i < format.size() && std::strchr("-+ #0123456789.", format[i]) != nullptr && format[i] != '\0')
            ++i;
        while (i < format.size() && std::strchr("hlLqjzt", format[i]) != nullptr && format[i] != '\0')
            ++i;
        if (i >= format.size())
            return std::nullopt;
        const std::optional<Kind> kind = kindOf(format[i]);
        if (!kind)
            return std::nullopt;
        ++i;
        pieces.push_back(
            {format.substr(literalStart, start - literalStart), format.substr(start, i - start), *kind});
        literalStart = i;
    }
    pieces.push_back({format.substr(literalStart), {}, Kind::Text});
    return pieces;
}

void appendLiteral(std::string& out, std::string_view literal)
{
    for (std::size_t i = 0; i < literal.size(); ++i)
    {
        out += literal[i];
        if (literal[i] == '%' && i + 1 < literal.size() && literal[i + 1] == '%')
            ++i;
    }
}

bool fits(const MessageArgument& argument, Kind kind)
{
    switch (kind)
    {
    case Kind::Integer:
        return std::holds_alternative<long long>(argument);
    case Kind::Floating:
        return std::holds_alternative<double>(argument);
    case Kind::Text:
        return std::holds_alternative<std::string>(argument);
    }
    return false;
}

std::string cut(std::string text, std::size_t maxLength)
{
    if (text.size() > maxLength)
        text.resize(maxLength);
    return text;
}

} // namespace

std::string formatMessageText(std::string_view format, const std::vector<MessageArgument>& arguments,
                              std::size_t maxLength)
{
    const std::optional<std::vector<Piece>> pieces = parse(format);
    if (!pieces || pieces->size() - 1 > arguments.size())
        return cut(std::string(format), maxLength);
    for (std::size_t i = 0; i + 1 < pieces->size(); ++i)
        if (!fits(arguments[i], (*pieces)[i].kind))
            return cut(std::string(format), maxLength);

    std::string out;
    try
    {
        for (std::size_t i = 0; i < pieces->size(); ++i)
        {
            const Piece& piece = (*pieces)[i];
            appendLiteral(out, piece.literal);
            if (piece.conversion.empty())
                break;
            const std::string conversion(piece.conversion);
            std::visit([&](const auto& value) { out += fmt::sprintf(conversion, value); }, arguments[i]);
            if (out.size() > maxLength)
                break;
        }
    }
    catch (const std::exception&)
    {
        return cut(std::string(format), maxLength);
    }
    return cut(std::move(out), maxLength);
}
