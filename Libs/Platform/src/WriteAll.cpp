#include "Platform/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace Platform
{

bool writeAll(int fd, const void* bytes, std::size_t count)
{
    const auto* next = static_cast<const unsigned char*>(bytes);
    while (count > 0)
    {
        const ssize_t done = ::write(fd, next, count);
        if (done < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        next += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

} // namespace Platform
