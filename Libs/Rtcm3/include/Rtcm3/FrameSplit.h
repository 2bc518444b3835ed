// Where the RTCM 3 frames of a byte stream lie, found by their headers alone (no CRC check): what a
// replay, a cut or a test needs to take a stream apart, not a decoder.
#pragma once

#include "Rtcm3/Frame.h"

#include <cstddef>

namespace Rtcm3
{

enum class FrameStart
{
    None,       // no frame header at this byte
    Incomplete, // maybe a frame, but the bytes held end before it does
    Whole,      // a whole frame by its header; its CRC is not checked
};

// What begins at data, of which available bytes are held: preamble 0xD3, six zero bits, a 10-bit
// length, the payload and a 24-bit CRC. size is the frame's whole size once its header is known.
inline FrameStart frameStart(const unsigned char* data, std::size_t available, std::size_t& size)
{
    if (available < kHeaderBytes)
        return available == 0 || data[0] == kPreamble ? FrameStart::Incomplete : FrameStart::None;
    if (data[0] != kPreamble || (data[1] & ~kLengthHighBits) != 0)
        return FrameStart::None;
    size = kHeaderBytes + (((data[1] & kLengthHighBits) << 8) | data[2]) + kCrcBytes;
    return available < size ? FrameStart::Incomplete : FrameStart::Whole;
}

// Calls onFrame(offset, size, message) for every frame in order; message is the payload's first 12
// bits (0 when it is shorter). Bytes outside frames are stepped over one at a time; a frame that runs
// past the end of the stream ends the walk, and so does onFrame returning false.
template <class OnFrame> void forEachFrame(const unsigned char* data, std::size_t size, OnFrame&& onFrame)
{
    std::size_t at = 0;
    while (at + kHeaderBytes + kCrcBytes <= size)
    {
        std::size_t frameSize = 0;
        const FrameStart start = frameStart(data + at, size - at, frameSize);
        if (start == FrameStart::None)
        {
            ++at;
            continue;
        }
        if (start == FrameStart::Incomplete)
            return;
        const int message =
            frameSize >= kHeaderBytes + 2 + kCrcBytes ? (data[at + 3] << 4) | (data[at + 4] >> 4) : 0;
        if (!onFrame(at, frameSize, message))
            return;
        at += frameSize;
    }
}

} // namespace Rtcm3
