// Opens the files of the suite's drive paths only below the suite root, never following a symbolic link
// out of it.
#include "Platform/BeneathRoot.h"

#include "Platform/NativePath.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Platform
{

std::optional<std::string> belowSuiteRoot(std::string_view text)
{
    if (text.size() < 2 || text[1] != ':' || !std::isalpha(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    std::string below(1, static_cast<char>(std::tolower(static_cast<unsigned char>(text[0]))));
    text.remove_prefix(2);
    // "C:temp" still lands below the drive folder.
    if (!text.empty() && text.front() != '\\' && text.front() != '/')
        below += '/';
    for (char c : text)
        below += (c == '\\') ? '/' : c;
    return below;
}

UniqueFd openSuiteRoot()
{
    const std::string root = suiteRoot();
    return UniqueFd(::open(root.empty() ? "/" : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

UniqueFd openBeneath(int directory, const std::string& relative, int flags, mode_t mode)
{
    open_how how{};
    how.flags = static_cast<unsigned long long>(flags | O_CLOEXEC);
    how.mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    // A rename elsewhere during the walk makes the kernel ask for another try.
    constexpr int kTries = 16;
    long fd = -1;
    for (int attempt = 0; attempt < kTries && (attempt == 0 || (fd < 0 && errno == EAGAIN)); ++attempt)
        fd = ::syscall(SYS_openat2, directory, relative.c_str(), &how, sizeof how);
    return UniqueFd(static_cast<int>(fd));
}

} // namespace Platform
