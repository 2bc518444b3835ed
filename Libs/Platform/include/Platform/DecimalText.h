// Reading decimal integers out of text: the one reader behind sentence numbers, start-sentence fields,
// command-line options and the tools' arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace Platform
{

struct DecimalPrefix
{
    bool hasDigits = false;
    std::int64_t value = 0; // held at the 64-bit limits
    std::size_t end = 0;    // one past the last character read
};

// Leading white space, an optional sign and the digits after it, as far as they go (as strtol reads).
DecimalPrefix readDecimalPrefix(std::string_view text);

// The value when the whole text is an optional '-' and decimal digits within [low, high].
std::optional<std::int64_t> wholeDecimal(std::string_view text, std::int64_t low, std::int64_t high);

// The prefix's value held at the 32-bit limits; 0 without digits.
std::int32_t clampedInt32(std::string_view text);

// A value held at the 32-bit limits: settings scaled to milliseconds or counts wait as long as 32 bits
// allow instead of wrapping round.
std::int32_t heldInt32(std::int64_t value);

} // namespace Platform
