// Takes RTCM 3 frames out of a byte stream as it arrives in pieces.
#include "Rtcm3/FrameReader.h"

#include "Rtcm3/FrameSplit.h"
#include "Rtcm3/Rtcm3Decoder.h"

namespace Rtcm3
{

namespace
{

bool crcHolds(const unsigned char* frame, std::size_t size)
{
    const unsigned char* crc = frame + size - kCrcBytes;
    const std::uint32_t sent = (static_cast<std::uint32_t>(crc[0]) << 16) | (crc[1] << 8) | crc[2];
    return crc24q(frame, static_cast<int>(size - kCrcBytes)) == sent;
}

} // namespace

void FrameReader::feed(const unsigned char* data, std::size_t size, const OnFrame& onFrame)
{
    m_held.insert(m_held.end(), data, data + size);
    search(false, onFrame);
}

void FrameReader::endStream(const OnFrame& onFrame)
{
    search(true, onFrame);
}

void FrameReader::search(bool streamEnded, const OnFrame& onFrame)
{
    std::size_t at = 0;
    while (at < m_held.size())
    {
        std::size_t frameSize = 0;
        const FrameStart start = frameStart(m_held.data() + at, m_held.size() - at, frameSize);
        if (start == FrameStart::Incomplete && !streamEnded)
            break;
        if (start == FrameStart::Whole && crcHolds(m_held.data() + at, frameSize))
        {
            ++m_counts.frames;
            onFrame(m_held.data() + at, frameSize);
            at += frameSize;
            continue;
        }
        // A bad frame's header may be junk that looks like one: the search goes on at its next byte,
        // so a good frame that starts inside it is still found.
        if (start == FrameStart::Whole)
            ++m_counts.badCrcFrames;
        ++m_counts.bytesOutside;
        ++at;
    }
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace Rtcm3
