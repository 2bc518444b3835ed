// Writes a real capture that the conversion driver accepts: testglo.rtcm3 with a 1033 and a 1013 frame added.
#include "DemoCapture.h"

#include "Rtcm3/FrameWriter.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace Rtcm3Scan
{

int writeDemoCapture(const std::string& capturePath, const std::string& outputPath)
{
    std::ifstream in(capturePath, std::ios::binary);
    if (!in)
    {
        std::cerr << "Can not read capture " << capturePath << "\n";
        return -1;
    }
    const std::vector<char> capture{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    std::ofstream out(outputPath, std::ios::binary | std::ios::trunc);
    const auto antenna = Rtcm3::antennaDescriptorFrame(1033, 0, kDemoAntenna);
    const auto date = Rtcm3::systemParametersFrame(0, kDemoMjd, kDemoSecondsOfDay, kDemoLeapSeconds);
    out.write(reinterpret_cast<const char*>(antenna.data()), static_cast<std::streamsize>(antenna.size()));
    out.write(reinterpret_cast<const char*>(date.data()), static_cast<std::streamsize>(date.size()));
    out.write(capture.data(), static_cast<std::streamsize>(capture.size()));
    out.close();
    if (!out)
    {
        std::cerr << "Can not write " << outputPath << "\n";
        return -1;
    }
    return 0;
}

} // namespace Rtcm3Scan
