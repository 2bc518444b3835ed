// Writing a whole buffer: write(2) may take part of it, or be interrupted by a signal.
#pragma once

#include <cstddef>

namespace Platform
{

// True once all count bytes are written; false with errno set by the write that failed.
bool writeAll(int fd, const void* bytes, std::size_t count);

} // namespace Platform
