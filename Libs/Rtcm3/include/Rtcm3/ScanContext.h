// What the scan of a log file needs besides the file itself, and what its RINEX header is to name.
#pragma once

#include <ctime>
#include <string>

namespace Rtcm3
{

struct ScanContext
{
    unsigned int station = 0; // reference station whose messages are read
    std::time_t opened = 0;   // when the file was opened (UTC), which dates a file without 1013; 0: not known
    // What the RINEX header names; empty: left to the converter (the marker name is then the station's
    // number).
    std::string markerName{};
    std::string markerNumber{};
    std::string observer{};
    std::string agency{};
    // The archive copy: its folder (written form; empty: none), the monument and receiver digits and
    // the country of its name (empty: "00", "XXX"), and the interval it is sampled to (0: as recorded).
    std::string archiveDirectory{};
    std::string monumentReceiver{};
    std::string country{};
    int archiveIntervalS = 0;
};

// Modified Julian day and seconds of the day of a UTC time.
void utcDate(std::time_t time, int& mjd, int& secondsOfDay);

} // namespace Rtcm3
