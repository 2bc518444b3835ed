// A token's typed value, as the token database and the token file hold it.
#pragma once

#include "Database/TokenKind.h"

#include <cstdint>
#include <string>

// Only the member matching the kind is meaningful; the others are 0 or empty.
struct TokenValue
{
    TokenKind kind = TokenKind::None;
    double floatValue = 0.0;
    std::int32_t intValue = 0;
    std::string textValue; // at most 299 characters from the database
};
