// Where a log file may be written: a ".rtcm" file of a drive path, below the suite root.
#include "RORUVivozo/VelmorLogFolder.h"

#include "Platform/BeneathRoot.h"
#include "RORUVivozo/VelmorLogFileName.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

namespace
{

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY;

bool hasLogFileExtension(const std::string& name)
{
    if (name.size() < kLogFileExtension.size())
        return false;
    const std::string_view extension = std::string_view(name).substr(name.size() - kLogFileExtension.size());
    for (std::size_t i = 0; i < extension.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(extension[i])) != kLogFileExtension[i])
            return false;
    return true;
}

bool ledOut(int error)
{
    return error == EXDEV || error == ELOOP;
}

} // namespace

std::string fileNameOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of(":\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

const char* logFilePathRefusal(const std::string& path)
{
    if (holdsParentComponent(path))
        return "Path with a '..' component";
    if (!Platform::belowSuiteRoot(path))
        return "Path without a drive";
    if (!hasLogFileExtension(fileNameOf(path)))
        return "Path without the .rtcm extension";
    return nullptr;
}

LogFolder openLogFolder(const std::string& directoryPart)
{
    LogFolder folder;
    const Platform::UniqueFd root = Platform::openSuiteRoot();
    const auto below = Platform::belowSuiteRoot(directoryPart);
    if (!root || !below)
        return folder;
    folder.directory = Platform::openBeneath(root.get(), *below, kDirectoryFlags);
    folder.existed = static_cast<bool>(folder.directory);
    if (folder.directory || errno != ENOENT)
    {
        folder.leadsOut = !folder.directory && ledOut(errno);
        return folder;
    }

    // Each missing level is made in its parent as reached from the root, then reached from the root again.
    const std::string limited =
        Platform::belowSuiteRoot(directoryPart.substr(0, kMaxDirectoryPart)).value_or(std::string());
    Platform::UniqueFd parent(::fcntl(root.get(), F_DUPFD_CLOEXEC, 0));
    for (std::size_t start = 0; start < limited.size();)
    {
        const std::size_t end = std::min(limited.find('/', start), limited.size());
        if (end > start)
        {
            const std::string prefix = limited.substr(0, end);
            Platform::UniqueFd level = Platform::openBeneath(root.get(), prefix, kDirectoryFlags);
            bool made = false;
            if (!level && errno == ENOENT)
            {
                made = ::mkdirat(parent.get(), limited.substr(start, end - start).c_str(), 0777) == 0;
                level = Platform::openBeneath(root.get(), prefix, kDirectoryFlags);
            }
            if (!level)
            {
                folder.leadsOut = ledOut(errno);
                return folder;
            }
            if (made)
                folder.changed.push_back(std::move(parent));
            parent = std::move(level);
        }
        start = end + 1;
    }
    folder.directory = Platform::openBeneath(root.get(), *below, kDirectoryFlags);
    folder.leadsOut = !folder.directory && ledOut(errno);
    return folder;
}
