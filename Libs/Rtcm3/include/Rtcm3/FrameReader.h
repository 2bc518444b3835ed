// Takes RTCM 3 frames out of a byte stream as it arrives in pieces (a TCP connection, a serial port):
// every whole frame whose CRC holds, and counts of what was not one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Rtcm3
{

class FrameReader
{
public:
    struct Counts
    {
        std::uint64_t frames = 0;       // whole, with a CRC that holds
        std::uint64_t badCrcFrames = 0; // a whole frame by its header whose CRC does not hold
        std::uint64_t bytesOutside = 0; // bytes in no good frame, those of bad frames included
    };
    using OnFrame = std::function<void(const unsigned char* frame, std::size_t size)>;

    // Calls onFrame for every good frame the bytes complete, in order.
    void feed(const unsigned char* data, std::size_t size, const OnFrame& onFrame);
    // The stream ended (a connection lost): what was held as the start of a frame can not be completed
    // by the next stream's bytes. Good frames held behind a false start still go to onFrame; the rest
    // counts as outside frames.
    void endStream(const OnFrame& onFrame);
    const Counts& counts() const { return m_counts; }

private:
    void search(bool streamEnded, const OnFrame& onFrame);

    std::vector<unsigned char> m_held;
    Counts m_counts;
};

} // namespace Rtcm3
