// Lengths of a day and of a GPS week, in the units the decoder's epoch times use.
#pragma once

namespace Rtcm3
{

constexpr int kSecondsPerDay = 86400;
constexpr int kSecondsPerWeek = 7 * kSecondsPerDay;
constexpr int kMsPerDay = 1000 * kSecondsPerDay;
constexpr int kMsPerWeek = 1000 * kSecondsPerWeek;

} // namespace Rtcm3
