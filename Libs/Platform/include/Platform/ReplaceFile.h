// Files other processes read (a status snapshot, metrics, a note, a report) appear whole and never
// through a link someone planted: the text goes to a new file of its own beside the target, which is
// synced and then renamed over it.
#pragma once

#include <string>
#include <string_view>

namespace Platform
{

// Writes text as the whole file at path (a native path). The file beside it is created exclusively
// (never an existing name, never through a symbolic link) under a name nobody can guess, and takes the
// mode 0644 less the umask. 0 on success, else the errno of the step that failed; nothing is left
// behind on failure, and the file at path is then as it was.
int replaceFile(const std::string& path, std::string_view text);

} // namespace Platform
