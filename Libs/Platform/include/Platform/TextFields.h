// Splitting a text at a separator and trimming its fields: sentence fields and the "host:port" of a
// destination.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Platform
{

// Fields between separators as a line-by-line reader yields them: empty fields between two separators
// are kept, a separator at the very end adds no empty field, and an empty text has no fields.
std::vector<std::string> splitFields(std::string_view text, char separator);

// The text without white space at either end.
std::string trim(std::string_view text);

} // namespace Platform
