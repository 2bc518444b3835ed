// The frame around every RTCM 3 message: preamble, 6 reserved bits, a 10-bit payload length, the
// payload and a CRC-24Q.
#pragma once

namespace Rtcm3
{

constexpr unsigned char kPreamble = 0xD3;
constexpr int kHeaderBytes = 3; // preamble, 6 reserved bits, 10-bit payload length
constexpr int kCrcBytes = 3;    // CRC-24Q
constexpr int kLengthHighBits = 0x03;

} // namespace Rtcm3
