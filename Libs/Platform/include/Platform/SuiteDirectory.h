// Where the suite keeps its shared data (token file, logging configuration).
#pragma once

#include <string>

namespace Platform
{

// "ProgramData" put into "%1\Hollvik\" followed by "zelt\": a text in written form, e.g.
// "C:\ProgramData\Hollvik\zelt\". Map it with nativePath only when a file is opened.
std::string suiteDataDirectory();

} // namespace Platform
