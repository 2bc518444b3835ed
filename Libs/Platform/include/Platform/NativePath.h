// Turns the suite's Windows-style path texts into paths of this machine.
#pragma once

#include <string>
#include <string_view>

namespace Platform
{

// Every backslash becomes '/', and a leading drive "X:" becomes "$ZELT_ROOT/x".
// Texts keep their written form everywhere else; call this only right before a file-system call.
std::string nativePath(std::string_view text);

// The value of "ProgramData", or "C:\ProgramData" when it is not set.
std::string programData();

// The value of an environment variable, or the fallback when it is not set.
std::string environmentOr(const char* name, std::string_view fallback);

} // namespace Platform
