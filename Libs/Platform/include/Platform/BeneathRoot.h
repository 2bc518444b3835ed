// Opens the files of the suite's drive paths only below the suite root (ZELT_ROOT), never following a
// symbolic link out of it: a path that a sentence names cannot reach any other file of the user.
#pragma once

#include "Platform/UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace Platform
{

// A drive path's place below the suite root, "c/rtcm/x.rtcm" for "C:\rtcm\x.rtcm"; nothing for any
// other text (a native absolute path, a relative one).
std::optional<std::string> belowSuiteRoot(std::string_view text);

// The suite root as a directory descriptor: ZELT_ROOT, or "/" when it is not set. Invalid (errno set)
// when it cannot be opened.
UniqueFd openSuiteRoot();

// Opens relative below the directory. Fails with EXDEV or ELOOP where the path, or a symbolic link on it,
// leads out of the directory; an absolute symbolic link always does.
UniqueFd openBeneath(int directory, const std::string& relative, int flags, mode_t mode = 0);

} // namespace Platform
