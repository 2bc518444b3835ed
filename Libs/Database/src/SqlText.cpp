// Helpers shared by the statement code of the database layer.
#include "SqlText.h"

namespace Database::detail
{

std::string sqlQuoted(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size());
    for (char c : text)
    {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted;
}

} // namespace Database::detail
