// Writes the demo's capture: testglo.rtcm3 (or one half of it) as the station recorded it.
#include "DemoCapture.h"

#include "Rtcm3/FrameSplit.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace Rtcm3Scan
{
namespace
{

// Offset of the first GPS observation frame (1001-1004) at or after the middle of the capture, or its
// end.
std::size_t halfway(const std::vector<char>& capture)
{
    std::size_t middle = capture.size();
    Rtcm3::forEachFrame(reinterpret_cast<const unsigned char*>(capture.data()), capture.size(),
                        [&](std::size_t at, std::size_t, int message)
                        {
                            if (at < capture.size() / 2 || message < 1001 || message > 1004)
                                return true;
                            middle = at;
                            return false;
                        });
    return middle;
}

} // namespace

int writeDemoCapture(const std::string& capturePath, const std::string& outputPath, DemoPart part)
{
    std::ifstream in(capturePath, std::ios::binary);
    if (!in)
    {
        std::cerr << "Can not read capture " << capturePath << "\n";
        return -1;
    }
    const std::vector<char> capture{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    std::ofstream out(outputPath, std::ios::binary | std::ios::trunc);
    const std::size_t middle = part == DemoPart::Whole ? 0 : halfway(capture);
    const std::size_t begin = part == DemoPart::SecondHalf ? middle : 0;
    const std::size_t end = part == DemoPart::FirstHalf ? middle : capture.size();
    out.write(capture.data() + begin, static_cast<std::streamsize>(end - begin));
    out.close();
    if (!out)
    {
        std::cerr << "Can not write " << outputPath << "\n";
        return -1;
    }
    return 0;
}

} // namespace Rtcm3Scan
