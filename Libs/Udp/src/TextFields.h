// Splitting, trimming and number conversion shared by the sentence parser and the sender's destination
// text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Udp::detail
{

// Fields between separators as a line-by-line reader yields them: empty fields between two separators
// are kept, a separator at the very end adds no empty field, and an empty text has no fields.
std::vector<std::string> splitFields(std::string_view text, char separator);

// The text without white space at either end.
std::string trim(std::string_view text);

enum class IntResult
{
    Ok,
    NoDigits,   // no decimal number after optional white space and sign
    OutOfRange, // the number does not fit a signed 32-bit integer
};

// Base-10 conversion like the standard text-to-int: skips leading white space, reads an optional sign
// and the digits, and stops at the first other character.
IntResult toInt32(std::string_view text, std::int32_t& value);

} // namespace Udp::detail
