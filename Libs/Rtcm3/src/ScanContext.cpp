// The date that a file without 1013 is dated by.
#include "Rtcm3/ScanContext.h"
#include "TimeUnits.h"

namespace Rtcm3
{

namespace
{

constexpr int kUnixEpochMjd = 40587; // 1970-01-01

} // namespace

void utcDate(std::time_t time, int& mjd, int& secondsOfDay)
{
    const long long seconds = static_cast<long long>(time);
    long long days = seconds / kSecondsPerDay;
    long long rest = seconds % kSecondsPerDay;
    if (rest < 0)
    {
        rest += kSecondsPerDay;
        --days;
    }
    mjd = static_cast<int>(days + kUnixEpochMjd);
    secondsOfDay = static_cast<int>(rest);
}

} // namespace Rtcm3
