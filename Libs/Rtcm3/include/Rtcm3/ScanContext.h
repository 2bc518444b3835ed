// What the scan of a log file needs besides the file itself.
#pragma once

#include <ctime>

namespace Rtcm3
{

struct ScanContext
{
    unsigned int station = 0; // reference station whose messages are read
    std::time_t opened = 0;   // when the file was opened (UTC), which dates a file without 1013; 0: not known
};

// Modified Julian day and seconds of the day of a UTC time.
void utcDate(std::time_t time, int& mjd, int& secondsOfDay);

} // namespace Rtcm3
