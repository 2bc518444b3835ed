// The monotonic clock in seconds and the boot it belongs to.
#include "Platform/BootClock.h"

#include <fstream>

namespace Platform
{

double monotonicSeconds(std::chrono::steady_clock::time_point at)
{
    return std::chrono::duration<double>(at.time_since_epoch()).count();
}

std::string bootId()
{
    std::string id;
    std::ifstream("/proc/sys/kernel/random/boot_id") >> id;
    return id;
}

} // namespace Platform
