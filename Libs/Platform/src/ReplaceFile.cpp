#include "Platform/ReplaceFile.h"

#include "Platform/UniqueFd.h"
#include "Platform/WriteAll.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace Platform
{

namespace
{

constexpr int kNameAttempts = 16;

// "<path>.<16 hex digits>.tmp": unguessable, so a link planted beside the target is never met, and
// O_EXCL refuses one that is met all the same.
UniqueFd createBeside(const std::string& path, std::string& beside)
{
    static thread_local std::mt19937_64 next{std::random_device{}()};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt)
    {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(next()));
        beside = path + suffix;
        UniqueFd fd(::open(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd || errno != EEXIST)
            return fd;
    }
    return UniqueFd();
}

} // namespace

int replaceFile(const std::string& path, std::string_view text)
{
    std::string beside;
    UniqueFd fd = createBeside(path, beside);
    if (!fd)
        return errno;
    int error = 0;
    if (!writeAll(fd.get(), text.data(), text.size()) || ::fdatasync(fd.get()) != 0)
        error = errno;
    if (::close(fd.release()) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(beside.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(beside.c_str());
    return error;
}

} // namespace Platform
