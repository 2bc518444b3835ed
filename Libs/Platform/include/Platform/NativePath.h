// Turns the suite's Windows-style path texts into paths of this machine.
#pragma once

#include <string>
#include <string_view>

namespace Platform
{

// Every backslash becomes '/', and a leading drive "X:" becomes "$ZELT_ROOT/x".
// Texts keep their written form everywhere else; call this only right before a file-system call.
std::string nativePath(std::string_view text);

// The suite root: the value of ZELT_ROOT, empty when it is not set.
std::string suiteRoot();

// A relative ZELT_ROOT is made absolute against the current directory, once, before anything changes
// that directory (the log file's open does): the drive folders then stay where they were at start-up.
void anchorZeltRoot();

// Likewise for a path text relative to the current directory: made absolute once, at start-up. A drive
// path keeps its written form, as does an absolute one.
std::string anchoredPath(std::string_view text);

// The value of "ProgramData", or "C:\ProgramData" when it is not set.
std::string programData();

// The value of an environment variable, or the fallback when it is not set.
std::string environmentOr(const char* name, std::string_view fallback);

} // namespace Platform
