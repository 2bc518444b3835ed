// Frame search, CRC-24Q, dispatch by message number and the station messages.
#include "Rtcm3/Rtcm3Decoder.h"

#include "BitReader.h"
#include "Messages.h"
#include "StationMessages.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace Rtcm3
{

namespace
{

constexpr std::uint32_t kCrcPolynomial = 0x1864CFB; // CRC-24Q, with the bit above its 24 bits
constexpr std::uint32_t kCrcMask = 0xFFFFFF;
constexpr unsigned char kReservedBits = 0xFC; // the 6 bits between preamble and length, 0 in a frame

// CRC-24Q a table look-up per byte, eight bytes at a time: the register is kept in the top 24 bits of 32,
// and table k holds what a byte followed by k zero bytes adds to it.
constexpr int kCrcSlices = 8;
using CrcTables = std::array<std::array<std::uint32_t, 256>, kCrcSlices>;

constexpr CrcTables crcTables()
{
    constexpr std::uint32_t kAligned = (kCrcPolynomial & kCrcMask) << 8;
    CrcTables tables{};
    for (std::uint32_t byte = 0; byte < 256; ++byte)
    {
        std::uint32_t crc = byte << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ kAligned : crc << 1;
        tables[0][byte] = crc;
    }
    for (int slice = 1; slice < kCrcSlices; ++slice)
    {
        for (std::uint32_t byte = 0; byte < 256; ++byte)
        {
            const std::uint32_t before = tables[slice - 1][byte];
            tables[slice][byte] = (before << 8) ^ tables[0][before >> 24];
        }
    }
    return tables;
}
constexpr CrcTables kCrcTables = crcTables();

std::uint32_t bigEndian32(const unsigned char* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

void decodeStationPosition(Rtcm3Decoder& decoder, int message, BitReader& reader)
{
    reader.skip(kPositionFlagBits);
    decoder.stationX = static_cast<double>(reader.readSigned(kCoordinateBits));
    reader.skip(kOscillatorBits);
    decoder.stationY = static_cast<double>(reader.readSigned(kCoordinateBits));
    reader.skip(kQuarterCycleBits);
    decoder.stationZ = static_cast<double>(reader.readSigned(kCoordinateBits));
    if (message == 1006)
        decoder.antennaHeight = static_cast<double>(reader.readUnsigned(kAntennaHeightBits));
}

void decodeAntennaDescriptor(Rtcm3Decoder& decoder)
{
    const unsigned char* payload = decoder.frame + kHeaderBytes;
    const int length = decoder.payloadLength;
    int count = length > kDescriptorCounterByte ? payload[kDescriptorCounterByte] : 0;
    // A length that runs past the payload is cut there rather than copying the CRC and beyond.
    count = std::min(count, std::max(0, length - kDescriptorCounterByte - 1));
    std::memcpy(decoder.antennaDescriptor, payload + kDescriptorCounterByte + 1, static_cast<size_t>(count));
    decoder.antennaDescriptor[count] = '\0';
}

void decodeSystemParameters(Rtcm3Decoder& decoder, BitReader& reader)
{
    decoder.mjd = reader.readInt(kMjdBits);
    decoder.secondsOfDay = reader.readInt(kSecondsOfDayBits);
    reader.skip(kAnnouncementCountBits);
    decoder.leapSeconds = reader.readInt(kLeapSecondsBits);
}

} // namespace

std::vector<unsigned int> stationsIn(const StationBits& bits)
{
    std::vector<unsigned int> stations;
    for (unsigned int station = 0; station < kStationIds; ++station)
    {
        if ((bits[station / 64] >> (station % 64)) & 1)
            stations.push_back(station);
    }
    return stations;
}

std::uint32_t crc24q(const unsigned char* data, int length)
{
    const auto& t = kCrcTables;
    std::uint32_t crc = 0; // in the top 24 bits
    int i = 0;
    for (; i + kCrcSlices <= length; i += kCrcSlices)
    {
        const std::uint32_t high = bigEndian32(data + i) ^ crc;
        const std::uint32_t low = bigEndian32(data + i + 4);
        crc = t[7][high >> 24] ^ t[6][(high >> 16) & 0xFF] ^ t[5][(high >> 8) & 0xFF] ^ t[4][high & 0xFF] ^
              t[3][low >> 24] ^ t[2][(low >> 16) & 0xFF] ^ t[1][(low >> 8) & 0xFF] ^ t[0][low & 0xFF];
    }
    for (; i < length; ++i)
        crc = (crc << 8) ^ t[0][(crc >> 24) ^ data[i]];
    return crc >> 8;
}

bool syncFrame(Rtcm3Decoder& decoder)
{
    // A verified frame is still at offset 0 when bytes needed is 0; skip past it.
    const bool frameHeld =
        decoder.bytesNeeded == 0 && decoder.byteCount >= decoder.consumedLength + kHeaderBytes + kCrcBytes;
    int pos = frameHeld ? decoder.consumedLength + kHeaderBytes + kCrcBytes : 0;
    decoder.bytesNeeded = 0;
    decoder.consumedLength = 0;

    const int count = decoder.byteCount;
    bool found = false;
    while (count - pos >= kHeaderBytes)
    {
        const unsigned char* p = decoder.frame + pos;
        if (p[0] == kPreamble)
        {
            const int length = ((p[1] & kLengthHighBits) << 8) | p[2];
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
                decoder.frameBytes += static_cast<std::uint64_t>(frameLength);
                found = true;
                break;
            }
            if ((p[1] & kReservedBits) == 0)
                ++decoder.badCrcFrames;
        }
        ++pos;
    }
    if (!found && decoder.bytesNeeded == 0)
        decoder.bytesNeeded = kHeaderBytes;

    pos = std::min(pos, count);
    if (pos > 0)
    {
        std::memmove(decoder.frame, decoder.frame + pos, static_cast<size_t>(count - pos));
        decoder.byteCount = count - pos;
    }
    return decoder.bytesNeeded == 0;
}

DecodeResult nextMessage(Rtcm3Decoder& decoder)
{
    if (!syncFrame(decoder))
        return {};

    BitReader reader(decoder.frame + kHeaderBytes, decoder.payloadLength);
    const int message = reader.readInt(kMessageNumberBits);
    if (message != 1019 && message != 1020)
    {
        const auto station = static_cast<unsigned int>(reader.readUnsigned(kStationIdBits));
        decoder.stationsSeen[station / 64] |= std::uint64_t{1} << (station % 64);
        if ((message >= 1001 && message <= 1004) || (message >= 1009 && message <= 1012) || isAnyMsm(message))
            decoder.observingStations[station / 64] |= std::uint64_t{1} << (station % 64);
        if (station != decoder.stationFilter)
            return {};
    }
    DecodeResult result{message, DecodeStatus::Message, true};
    if (message >= 1001 && message <= 1004)
        result.status = decodeGpsObservations(decoder, message, reader);
    else if (message >= 1009 && message <= 1012)
        result.status = decodeGlonassObservations(decoder, message, reader);
    else if (message == 1005 || message == 1006)
        decodeStationPosition(decoder, message, reader);
    else if (message == 1007 || message == 1008 || message == 1033)
        decodeAntennaDescriptor(decoder);
    else if (message == 1013)
        decodeSystemParameters(decoder, reader);
    else if (msmSystem(message) != MsmSystem::None)
        decodeMsm(decoder, message, reader);
    // Every other message is passed on as it is.
    return result;
}

bool appendByte(Rtcm3Decoder& decoder, unsigned char byte)
{
    // The search keeps the buffer below one longest frame; this only guards a damaged record.
    if (decoder.byteCount < 0 || decoder.byteCount >= kFrameBufferSize)
        decoder.byteCount = 0;
    decoder.frame[decoder.byteCount++] = byte;
    return decoder.byteCount >= decoder.bytesNeeded;
}

bool decodeHeldFrame(Rtcm3Decoder& decoder, DecodeResult& result)
{
    result = nextMessage(decoder);
    // The search clears bytes needed only when it verified a frame.
    return decoder.bytesNeeded == 0;
}

} // namespace Rtcm3
