// Writes the demo's capture: testglo.rtcm3, or a half of it, as the station recorded it.
#pragma once

#include <string>

namespace Rtcm3Scan
{

// Which stretch of the capture is written. The halves meet at an epoch's first GPS message, so each
// half starts a file of its own with its own first epoch.
enum class DemoPart
{
    Whole,
    FirstHalf,
    SecondHalf
};

// Writes the capture's part unchanged. Returns 0 or -1 (with a message).
int writeDemoCapture(const std::string& capturePath, const std::string& outputPath,
                     DemoPart part = DemoPart::Whole);

} // namespace Rtcm3Scan
