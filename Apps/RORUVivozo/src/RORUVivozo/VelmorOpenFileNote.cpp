// The note of the open log file: "<path>\n<opened, seconds since 1970>\n", replaced whole.
#include "RORUVivozo/VelmorOpenFileNote.h"

#include "Platform/NativePath.h"
#include "Platform/ReplaceFile.h"
#include "Platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace
{

constexpr char kNoteFolder[] = "C:\\temp\\";
constexpr char kNoteEnding[] = ".open-log-file.txt";

// The note's own name on disk is gone with a power cut unless its folder is synced too.
int syncFolderOf(const std::string& native)
{
    const Platform::UniqueFd folder(
        ::open(native.substr(0, native.find_last_of('/') + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder && ::fsync(folder.get()) == 0 ? 0 : errno;
}

} // namespace

std::string openFileNotePath(std::string_view processName)
{
    std::string name(processName);
    for (char& c : name)
        if (c == '\\' || c == '/' || c == ':')
            c = '_';
    return kNoteFolder + name + kNoteEnding;
}

std::optional<OpenFileNote> readOpenFileNote(const std::string& notePath)
{
    std::ifstream in(Platform::nativePath(notePath));
    OpenFileNote note;
    if (!std::getline(in, note.path) || note.path.empty())
        return std::nullopt;
    long long opened = 0;
    if (in >> opened)
        note.opened = static_cast<std::time_t>(opened);
    return note;
}

int writeOpenFileNote(const std::string& notePath, const OpenFileNote& note)
{
    const std::string native = Platform::nativePath(notePath);
    const int error = Platform::replaceFile(
        native, note.path + "\n" + std::to_string(static_cast<long long>(note.opened)) + "\n");
    return error != 0 ? error : syncFolderOf(native);
}

int removeOpenFileNote(const std::string& notePath)
{
    const std::string native = Platform::nativePath(notePath);
    if (::unlink(native.c_str()) != 0)
        return errno == ENOENT ? 0 : errno;
    return syncFolderOf(native);
}
