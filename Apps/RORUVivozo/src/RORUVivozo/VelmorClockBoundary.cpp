// Where timed file changes fall when they follow the clock.
#include "RORUVivozo/VelmorClockBoundary.h"

#include <algorithm>

std::chrono::system_clock::time_point nextClockBoundary(std::chrono::system_clock::time_point after,
                                                        std::int32_t intervalMinutes)
{
    using namespace std::chrono;
    const minutes interval(std::max<std::int32_t>(intervalMinutes, 1));
    if (interval > days(1))
        return system_clock::time_point(interval * (after.time_since_epoch() / interval + 1));
    const system_clock::time_point midnight = floor<days>(after);
    return std::min(midnight + interval * ((after - midnight) / interval + 1), midnight + days(1));
}
