// Writes a real capture that the conversion driver accepts: testglo.rtcm3 with a 1033 and a 1013 frame added.
#pragma once

#include <string>

namespace Rtcm3Scan
{

// The capture's ephemerides put it in GPS week 1562; its first epoch is Friday 2009-12-18 23:07:00
// GPS time (GPS-UTC 15 s then), so the date frame carries that day.
constexpr int kDemoMjd = 55183;
constexpr int kDemoSecondsOfDay = 83205;
constexpr int kDemoLeapSeconds = 15;
constexpr const char* kDemoAntenna = "TRM41249.00     NONE";

// Which stretch of the capture follows the two frames. The halves meet at an epoch's first GPS
// message, so each half starts a file of its own with its own first epoch.
enum class DemoPart
{
    Whole,
    FirstHalf,
    SecondHalf
};

// Writes the 1033 and 1013 frames, then the capture's part unchanged. Returns 0 or -1 (with a message).
int writeDemoCapture(const std::string& capturePath, const std::string& outputPath, DemoPart part = DemoPart::Whole);

} // namespace Rtcm3Scan
