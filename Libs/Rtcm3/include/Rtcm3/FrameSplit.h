// Where the RTCM 3 frames of a byte stream lie, found by their headers alone (no CRC check): what a
// replay, a cut or a test needs to take a stream apart, not a decoder.
#pragma once

#include "Rtcm3/Frame.h"

#include <cstddef>

namespace Rtcm3
{

// Calls onFrame(offset, size, message) for every frame in order: preamble 0xD3, six zero bits, a
// 10-bit length, the payload and a 24-bit CRC; message is the payload's first 12 bits (0 when it is
// shorter). Bytes outside frames are stepped over one at a time; a frame that runs past the end of
// the stream ends the walk, and so does onFrame returning false.
template <class OnFrame> void forEachFrame(const unsigned char* data, std::size_t size, OnFrame&& onFrame)
{
    std::size_t at = 0;
    while (at + kHeaderBytes + kCrcBytes <= size)
    {
        if (data[at] != kPreamble || (data[at + 1] & ~kLengthHighBits) != 0)
        {
            ++at;
            continue;
        }
        const std::size_t length = ((data[at + 1] & kLengthHighBits) << 8) | data[at + 2];
        const std::size_t frameSize = kHeaderBytes + length + kCrcBytes;
        if (at + frameSize > size)
            return;
        const int message = length >= 2 ? (data[at + 3] << 4) | (data[at + 4] >> 4) : 0;
        if (!onFrame(at, frameSize, message))
            return;
        at += frameSize;
    }
}

} // namespace Rtcm3
