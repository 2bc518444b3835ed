// The logger's own log files as its current parameters name them.
#include "RORUVivozo/VelmorLogFilePattern.h"

#include "Platform/BeneathRoot.h"
#include "RORUVivozo/VelmorLogFileName.h"
#include "RORUVivozo/VelmorLogFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace
{

// Never a character of a path: marks where the moved-aside suffix goes.
constexpr char kSuffixMarker = '\x01';

std::vector<std::string> levelsOf(const std::string& relative)
{
    std::vector<std::string> levels;
    for (std::size_t start = 0; start <= relative.size();)
    {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        if (end > start)
            levels.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

} // namespace

std::optional<std::string> relativeBelowRoot(const std::string& written)
{
    const std::optional<std::string> below = Platform::belowSuiteRoot(written);
    if (!below)
        return std::nullopt;
    std::string relative;
    for (const std::string& level : levelsOf(*below))
        relative += (relative.empty() ? "" : "/") + level;
    return relative;
}

std::string writtenForm(const std::string& relative)
{
    const std::vector<std::string> levels = levelsOf(relative);
    if (levels.empty())
        return relative;
    std::string written = levels.front() + ":";
    written[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(written[0])));
    for (std::size_t i = 1; i < levels.size(); ++i)
        written += "\\" + levels[i];
    return written;
}

std::vector<std::string> entriesOf(int directory)
{
    std::vector<std::string> names;
    const int fd = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (listing == nullptr)
    {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(listing))
        if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
            names.emplace_back(entry->d_name);
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<CLogFilePattern> CLogFilePattern::of(const std::string& directory, const std::string& name)
{
    const std::string path = directory + "\\" + name;
    const std::optional<std::string> relative = relativeBelowRoot(path);
    if (logFilePathRefusal(path) != nullptr || !relative)
        return std::nullopt;
    std::vector<std::string> levels = levelsOf(*relative);
    const std::string fileName = levels.back();
    levels.pop_back();
    CLogFilePattern pattern;
    std::size_t level = 0;
    for (; level < levels.size() && !holdsDateToken(levels[level]); ++level)
        pattern.m_fixed += (level == 0 ? "" : "/") + levels[level];
    for (; level < levels.size(); ++level)
        pattern.m_levels.emplace_back(dateTokenPattern(levels[level]));
    pattern.m_name = std::regex(
        dateTokenPattern(movedAsideName(fileName, std::string(1, kSuffixMarker), 0), kSuffixMarker));
    return pattern;
}

void CLogFilePattern::forEachFolder(const std::function<bool(const OwnLogFolder&)>& visit) const
{
    const Platform::UniqueFd root = Platform::openSuiteRoot();
    if (!root)
        return;
    OwnLogFolder fixed{Platform::openBeneath(root.get(), m_fixed, O_RDONLY | O_DIRECTORY), m_fixed, {}};
    if (fixed.directory)
        walk(std::move(fixed), 0, visit);
}

bool CLogFilePattern::walk(OwnLogFolder folder, std::size_t level,
                           const std::function<bool(const OwnLogFolder&)>& visit) const
{
    if (level == m_levels.size())
    {
        for (const std::string& entry : entriesOf(folder.directory.get()))
        {
            struct stat info;
            if (std::regex_match(entry, m_name) &&
                ::fstatat(folder.directory.get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(info.st_mode))
                folder.logFiles.push_back(entry);
        }
        return visit(folder);
    }
    for (const std::string& entry : entriesOf(folder.directory.get()))
    {
        if (!std::regex_match(entry, m_levels[level]))
            continue;
        Platform::UniqueFd inner(
            ::openat(folder.directory.get(), entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (inner && !walk({std::move(inner), folder.relative + "/" + entry, {}}, level + 1, visit))
            return false;
    }
    return true;
}

std::string CLogFilePattern::unmovedName(const std::string& name) const
{
    std::smatch match;
    if (!std::regex_match(name, match, m_name) || !match[1].matched)
        return name;
    return name.substr(0, static_cast<std::size_t>(match.position(1))) +
           name.substr(static_cast<std::size_t>(match.position(1) + match.length(1)));
}
