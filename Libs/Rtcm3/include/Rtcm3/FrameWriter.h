// Builds RTCM 3 frames with known field values: for tests and for the demo capture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Rtcm3
{

class FrameWriter
{
public:
    // Fields most significant bit first, as the decoder reads them.
    FrameWriter& put(std::uint64_t value, int bits);
    FrameWriter& putSigned(std::int64_t value, int bits);
    FrameWriter& putText(const std::string& text);

    // Preamble, 10-bit length, the payload padded to whole bytes, CRC-24Q.
    std::vector<unsigned char> frame() const;

private:
    std::vector<unsigned char> m_payload;
    int m_bits = 0;
};

// 1007, 1008 or 1033 with the descriptor (its length byte first) and empty further fields.
std::vector<unsigned char> antennaDescriptorFrame(int message, int station, const std::string& descriptor);

// 1005, or 1006 with the antenna height; coordinates and height in counts of 0.0001 m.
std::vector<unsigned char> stationPositionFrame(int message, int station, std::int64_t x, std::int64_t y,
                                                std::int64_t z, int height = 0);

// The frame with another reference station ID and its CRC made anew.
std::vector<unsigned char> withStation(const std::vector<unsigned char>& frame, int station);

// 1013 with no announcements.
std::vector<unsigned char> systemParametersFrame(int station, int mjd, int secondsOfDay, int leapSeconds);

} // namespace Rtcm3
