// Frame search, CRC-24Q, dispatch by message number and the station messages.
#include "Rtcm3/Rtcm3Decoder.h"

#include "BitReader.h"
#include "Messages.h"

#include <algorithm>
#include <cstring>

namespace Rtcm3
{

namespace
{

constexpr unsigned char kPreamble = 0xD3;
constexpr int kHeaderBytes = 3;
constexpr int kCrcBytes = 3;

void decodeStationPosition(Rtcm3Decoder& decoder, int message, BitReader& reader)
{
    reader.skip(10);
    decoder.stationX = static_cast<double>(reader.readSigned(38));
    reader.skip(2);
    decoder.stationY = static_cast<double>(reader.readSigned(38));
    reader.skip(2);
    decoder.stationZ = static_cast<double>(reader.readSigned(38));
    if (message == 1006)
        decoder.antennaHeight = static_cast<double>(reader.readUnsigned(16));
}

void decodeAntennaDescriptor(Rtcm3Decoder& decoder)
{
    const unsigned char* payload = decoder.frame + kHeaderBytes;
    const int length = decoder.payloadLength;
    constexpr int kLengthByte = 3;
    int count = length > kLengthByte ? payload[kLengthByte] : 0;
    // A length that runs past the payload is cut there rather than copying the CRC and beyond.
    count = std::min(count, std::max(0, length - kLengthByte - 1));
    std::memcpy(decoder.antennaDescriptor, payload + kLengthByte + 1, static_cast<size_t>(count));
    decoder.antennaDescriptor[count] = '\0';
}

void decodeSystemParameters(Rtcm3Decoder& decoder, BitReader& reader)
{
    decoder.mjd = reader.readInt(16);
    decoder.secondsOfDay = reader.readInt(17);
    reader.skip(5);
    decoder.leapSeconds = reader.readInt(8);
}

} // namespace

std::uint32_t crc24q(const unsigned char* data, int length)
{
    std::uint32_t crc = 0;
    for (int i = 0; i < length; ++i)
    {
        crc ^= static_cast<std::uint32_t>(data[i]) << 16;
        for (int bit = 0; bit < 8; ++bit)
        {
            crc <<= 1;
            if (crc & 0x1000000)
                crc ^= 0x1864CFB;
        }
    }
    return crc & 0xFFFFFF;
}

bool syncFrame(Rtcm3Decoder& decoder)
{
    // A verified frame is still at offset 0 when bytes needed is 0; skip past it.
    const bool frameHeld = decoder.bytesNeeded == 0 && decoder.byteCount >= decoder.consumedLength + 6;
    int pos = frameHeld ? decoder.consumedLength + kHeaderBytes + kCrcBytes : 0;
    decoder.bytesNeeded = 0;
    decoder.consumedLength = 0;

    const int count = decoder.byteCount;
    bool found = false;
    while (count - pos >= 3)
    {
        const unsigned char* p = decoder.frame + pos;
        if (p[0] == kPreamble)
        {
            const int length = ((p[1] & 0x03) << 8) | p[2];
            decoder.payloadLength = length;
            const int frameLength = length + kHeaderBytes + kCrcBytes;
            if (count - pos < frameLength)
            {
                decoder.bytesNeeded = frameLength;
                break;
            }
            const unsigned char* crc = p + kHeaderBytes + length;
            const std::uint32_t expected = (static_cast<std::uint32_t>(crc[0]) << 16) |
                                           (static_cast<std::uint32_t>(crc[1]) << 8) | crc[2];
            if (crc24q(p, length + kHeaderBytes) == expected)
            {
                decoder.consumedLength = length;
                found = true;
                break;
            }
        }
        ++pos;
    }
    if (!found && decoder.bytesNeeded == 0)
        decoder.bytesNeeded = 3;

    pos = std::min(pos, count);
    if (pos > 0)
    {
        std::memmove(decoder.frame, decoder.frame + pos, static_cast<size_t>(count - pos));
        decoder.byteCount = count - pos;
    }
    return decoder.bytesNeeded == 0;
}

int nextMessage(Rtcm3Decoder& decoder)
{
    if (!syncFrame(decoder))
        return 0;

    BitReader reader(decoder.frame + kHeaderBytes, decoder.payloadLength);
    const int message = reader.readInt(12);
    if (message != 1019 && message != 1020)
    {
        const unsigned int station = static_cast<unsigned int>(reader.readUnsigned(12));
        if (station != decoder.stationFilter)
            return 0;
    }
    decoder.lastMessage = message;

    if (msmSystem(message) != MsmSystem::None)
        return decodeMsm(decoder, message, reader);
    if (message < 1001 || message > 1033)
        return message;
    switch (message)
    {
    case 1001:
    case 1002:
    case 1003:
    case 1004:
        return decodeGpsObservations(decoder, message, reader);
    case 1009:
    case 1010:
    case 1011:
    case 1012:
        return decodeGlonassObservations(decoder, message, reader);
    case 1005:
    case 1006:
        decodeStationPosition(decoder, message, reader);
        return message;
    case 1007:
    case 1008:
    case 1033:
        decodeAntennaDescriptor(decoder);
        return message;
    case 1013:
        decodeSystemParameters(decoder, reader);
        return message;
    default:
        return message;
    }
}

bool appendByte(Rtcm3Decoder& decoder, unsigned char byte)
{
    // The search keeps the buffer below one longest frame; this only guards a damaged record.
    if (decoder.byteCount < 0 || decoder.byteCount >= kFrameBufferSize)
        decoder.byteCount = 0;
    decoder.frame[decoder.byteCount++] = byte;
    return decoder.byteCount >= decoder.bytesNeeded;
}

bool decodeHeldFrame(Rtcm3Decoder& decoder, int& result, bool& passed)
{
    // nextMessage leaves the last message number alone for a message the filter drops.
    const int previous = decoder.lastMessage;
    decoder.lastMessage = -1;
    result = nextMessage(decoder);
    passed = decoder.lastMessage != -1;
    if (!passed)
        decoder.lastMessage = previous;
    // The search clears bytes needed only when it verified a frame.
    return decoder.bytesNeeded == 0;
}

int feedByte(Rtcm3Decoder& decoder, unsigned char byte)
{
    return feedByte(decoder, byte, [](int) {});
}

} // namespace Rtcm3
