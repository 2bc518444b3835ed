// Builds RTCM 3 frames with known field values: for tests and for the demo capture.
#include "Rtcm3/FrameWriter.h"

#include "Rtcm3/Rtcm3Decoder.h"

namespace Rtcm3
{

FrameWriter& FrameWriter::put(std::uint64_t value, int bits)
{
    for (int bit = bits - 1; bit >= 0; --bit)
    {
        if (m_bits % 8 == 0)
            m_payload.push_back(0);
        if ((value >> bit) & 1)
            m_payload.back() |= static_cast<unsigned char>(0x80 >> (m_bits % 8));
        ++m_bits;
    }
    return *this;
}

FrameWriter& FrameWriter::putSigned(std::int64_t value, int bits)
{
    return put(static_cast<std::uint64_t>(value) & ((std::uint64_t{1} << bits) - 1), bits);
}

FrameWriter& FrameWriter::putText(const std::string& text)
{
    for (char c : text)
        put(static_cast<unsigned char>(c), 8);
    return *this;
}

std::vector<unsigned char> FrameWriter::frame() const
{
    const int length = static_cast<int>(m_payload.size());
    std::vector<unsigned char> frame;
    frame.reserve(m_payload.size() + 6);
    frame.push_back(0xD3);
    frame.push_back(static_cast<unsigned char>((length >> 8) & 0x03));
    frame.push_back(static_cast<unsigned char>(length & 0xFF));
    for (unsigned char byte : m_payload)
        frame.push_back(byte);
    const std::uint32_t crc = crc24q(frame.data(), static_cast<int>(frame.size()));
    frame.push_back(static_cast<unsigned char>(crc >> 16));
    frame.push_back(static_cast<unsigned char>(crc >> 8));
    frame.push_back(static_cast<unsigned char>(crc));
    return frame;
}

std::vector<unsigned char> antennaDescriptorFrame(int message, int station, const std::string& descriptor)
{
    FrameWriter writer;
    writer.put(message, 12).put(station, 12).put(descriptor.size(), 8).putText(descriptor);
    // Setup ID, then empty serial number (1008, 1033) and receiver texts (1033), so that other
    // readers find a complete message.
    writer.put(0, 8);
    if (message == 1008 || message == 1033)
        writer.put(0, 8);
    if (message == 1033)
        writer.put(0, 8).put(0, 8).put(0, 8);
    return writer.frame();
}

std::vector<unsigned char> stationPositionFrame(int message, int station, std::int64_t x, std::int64_t y,
                                                std::int64_t z, int height)
{
    FrameWriter w;
    w.put(message, 12).put(station, 12).put(0, 10).putSigned(x, 38).put(0, 2).putSigned(y, 38).put(0, 2);
    w.putSigned(z, 38);
    if (message == 1006)
        w.put(height, 16);
    return w.frame();
}

std::vector<unsigned char> withStation(const std::vector<unsigned char>& frame, int station)
{
    constexpr int kHeaderBytes = 3;
    constexpr int kCrcBytes = 3;
    std::vector<unsigned char> copy = frame;
    if (copy.size() < kHeaderBytes + 3 + kCrcBytes)
        return copy;
    // The station ID is the 12 bits after the 12-bit message number.
    copy[4] = static_cast<unsigned char>((copy[4] & 0xF0) | ((station >> 8) & 0x0F));
    copy[5] = static_cast<unsigned char>(station & 0xFF);
    const int covered = static_cast<int>(copy.size()) - kCrcBytes;
    const std::uint32_t crc = crc24q(copy.data(), covered);
    copy[covered] = static_cast<unsigned char>(crc >> 16);
    copy[covered + 1] = static_cast<unsigned char>(crc >> 8);
    copy[covered + 2] = static_cast<unsigned char>(crc);
    return copy;
}

std::vector<unsigned char> systemParametersFrame(int station, int mjd, int secondsOfDay, int leapSeconds)
{
    FrameWriter writer;
    writer.put(1013, 12).put(station, 12).put(mjd, 16).put(secondsOfDay, 17).put(0, 5).put(leapSeconds, 8);
    return writer.frame();
}

} // namespace Rtcm3
