// Helpers shared by the statement code of the database layer.
#pragma once

#include <sql.h>

#include <string>
#include <string_view>

namespace Database::detail
{

// A text argument for the inside of a quoted SQL literal: every single quote doubled, so that the text
// arrives unchanged and can never end the literal.
std::string sqlQuoted(std::string_view text);

inline bool succeeded(SQLRETURN returnCode)
{
    return returnCode == SQL_SUCCESS || returnCode == SQL_SUCCESS_WITH_INFO;
}

inline SQLCHAR* statementText(const std::string& statement)
{
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(statement.c_str()));
}

// A bound character column as text: up to the terminating zero the driver wrote.
template <std::size_t N> std::string boundText(const char (&buffer)[N])
{
    std::size_t length = 0;
    while (length < N && buffer[length] != '\0')
        ++length;
    return std::string(buffer, length);
}

} // namespace Database::detail
