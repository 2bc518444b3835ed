// Builds RTCM 3 frames with known field values: for tests and for the demo capture.
#include "Rtcm3/FrameWriter.h"

#include "Rtcm3/Rtcm3Decoder.h"
#include "StationMessages.h"

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
    frame.reserve(m_payload.size() + kHeaderBytes + kCrcBytes);
    frame.push_back(kPreamble);
    frame.push_back(static_cast<unsigned char>((length >> 8) & kLengthHighBits));
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
    writer.put(message, kMessageNumberBits).put(station, kStationIdBits);
    writer.put(descriptor.size(), kCounterBits).putText(descriptor);
    // Setup ID, then empty serial number (1008, 1033) and receiver texts (1033), so that other
    // readers find a complete message.
    writer.put(0, kAntennaSetupIdBits);
    if (message == 1008 || message == 1033)
        writer.put(0, kCounterBits);
    if (message == 1033)
        writer.put(0, kCounterBits).put(0, kCounterBits).put(0, kCounterBits);
    return writer.frame();
}

std::vector<unsigned char> stationPositionFrame(int message, int station, std::int64_t x, std::int64_t y,
                                                std::int64_t z, int height)
{
    FrameWriter w;
    w.put(message, kMessageNumberBits).put(station, kStationIdBits).put(0, kPositionFlagBits);
    w.putSigned(x, kCoordinateBits).put(0, kOscillatorBits).putSigned(y, kCoordinateBits);
    w.put(0, kQuarterCycleBits).putSigned(z, kCoordinateBits);
    if (message == 1006)
        w.put(height, kAntennaHeightBits);
    return w.frame();
}

std::vector<unsigned char> withStation(const std::vector<unsigned char>& frame, int station)
{
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
    writer.put(1013, kMessageNumberBits).put(station, kStationIdBits).put(mjd, kMjdBits);
    writer.put(secondsOfDay, kSecondsOfDayBits)
        .put(0, kAnnouncementCountBits)
        .put(leapSeconds, kLeapSecondsBits);
    return writer.frame();
}

} // namespace Rtcm3
