// Times as the status files write them: ISO 8601 in UTC with milliseconds, "2026-12-09T20:15:03.123Z".
#pragma once

#include <chrono>
#include <string>

namespace Platform
{

std::string isoUtcMillis(std::chrono::system_clock::time_point at);

} // namespace Platform
