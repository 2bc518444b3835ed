// How a datagram log file is named: date tokens, the moved-aside name and the paths refused.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

// Extension every datagram log file carries; the moved-aside name is built around it.
inline constexpr std::string_view kLogFileExtension = ".rtcm";

// The six date tokens, replaced by the UTC fields of one reading of the clock.
std::string expandDateTokens(std::string_view text, std::time_t now);
std::string expandDateTokens(std::string_view text);

// The name an existing log file is moved to: the local-time suffix ("_%y%m%d%H%M%S") put in place of
// the first ".rtcm" of the file name with ".rtcm" appended; counter > 0 adds "_<counter>" after the
// suffix so that a second move within the same second keeps the first moved-aside file. A file name
// that would pass nameLimit bytes loses the end of its part before the suffix, in whole UTF-8 characters.
std::string movedAsideName(std::string_view path, std::string_view suffix, int counter,
                           std::size_t nameLimit = std::string_view::npos);

// A regular expression (ECMAScript) of the names the text gives: each date token stands for its digits,
// every other character for itself, and suffixMarker, where it occurs, for the optional moved-aside
// suffix (the one capturing group).
std::string dateTokenPattern(std::string_view text, char suffixMarker = '\0');
bool holdsDateToken(std::string_view text);

// True when a component of the path (between '\', '/' and ':') is "..": such a path is refused.
bool holdsParentComponent(std::string_view path);

// "_%y%m%d%H%M%S" of the local time, or "0000000000" when the clock cannot be read.
std::string movedAsideSuffix(std::time_t now);
