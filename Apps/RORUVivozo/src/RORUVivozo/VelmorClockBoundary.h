// Where timed file changes fall when they follow the clock: on whole multiples of the interval counted
// from 00:00 UTC, as archives and processing services cut their files.
#pragma once

#include <chrono>
#include <cstdint>

// The first boundary after the moment: midnight UTC plus a whole number of intervals, the day's last
// file ending at the next midnight where the interval does not divide the day. An interval of more than
// a day counts whole intervals from 1970-01-01 00:00 UTC.
std::chrono::system_clock::time_point nextClockBoundary(std::chrono::system_clock::time_point after,
                                                        std::int32_t intervalMinutes);
