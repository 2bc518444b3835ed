// Splitting a text at a separator and trimming its fields.
#include "Platform/TextFields.h"

#include <cctype>

namespace Platform
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

} // namespace Platform
