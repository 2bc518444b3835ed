// Reading decimal integers out of text: the one reader behind sentence numbers, start-sentence fields,
// command-line options and the tools' arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
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

// Digits as people read them: "1234567.8" becomes "1,234,567.8".
std::string groupedThousands(std::string_view number);

// "1 file", "1,234 files": the count grouped, the noun plural unless the count is one.
std::string counted(std::uint64_t count, std::string_view noun);

} // namespace Platform
