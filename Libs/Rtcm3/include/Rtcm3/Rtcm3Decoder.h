// The RTCM 3 decoder: frames, CRC-24Q, station messages and observation epochs, byte by byte.
#pragma once

#include "Rtcm3/Msm.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Rtcm3
{

constexpr int kMaxSatellites = 24;
constexpr int kObservationSlots = 16;
constexpr int kFrameBufferSize = 2048;
constexpr int kStationIds = 4096; // DF003 has 12 bits
// A set of station IDs: bit id % 64 of word id / 64.
using StationBits = std::uint64_t[kStationIds / 64];

// Observation slots of one satellite row.
enum ObservationSlot
{
    kC1 = 0,
    kC2 = 1,
    kP1 = 2,
    kP2 = 3,
    kL1CA = 4,
    kL1P = 5,
    kL2CA = 6,
    kL2P = 7,
    kS1CA = 12,
    kS1P = 13,
    kS2CA = 14,
    kS2P = 15,
};

// Flags of an observation mask beside the slot-presence bits.
constexpr int kFlagL2CrossCorrelated = 0x10000000;
constexpr int kFlagL1LossOfLock = 0x20000000;
constexpr int kFlagL2LossOfLock = 0x40000000;
constexpr int kL1SlotBits = 0x3335;
constexpr int kL2SlotBits = 0xCCCA;

// Station coordinates and antenna height come in counts of this many metres.
constexpr double kStationCountMetres = 0.0001; // DF025 to DF028

// What one frame gave.
enum class DecodeStatus
{
    Nothing,             // no frame, one of another station, or a GPS observation before a week is known
    Message,             // a message of the station; an observation message's epoch goes on
    EpochReleased,       // an epoch was released into completed
    EpochReleasedModulo, // the same, with pseudoranges known only modulo one light-millisecond
};

struct DecodeResult
{
    int message = 0; // the message number, when fromStation
    DecodeStatus status = DecodeStatus::Nothing;
    bool fromStation = false; // passed the station filter (ephemerides carry no station and always pass)
};

// An epoch row's satellite number: GPS PRN 1 to 32, SBAS PRN 120 to 138, GLONASS slot + this (38 to 61).
constexpr int kGlonassNumberOffset = 37;

// One observation epoch; a whole record is copied and zero-filled as one block.
struct ObservationEpoch
{
    int week; // 0: empty
    int satelliteCount;
    double timeOfWeek; // milliseconds of the GPS week
    double values[kMaxSatellites][kObservationSlots];
    int masks[kMaxSatellites];
    int satellites[kMaxSatellites];
    int l1Strength[kMaxSatellites];
    int l2Strength[kMaxSatellites];
};

// The whole decoder state; the owner zero-fills it before the first byte.
struct Rtcm3Decoder
{
    unsigned char frame[kFrameBufferSize];
    int byteCount;
    int bytesNeeded;
    int consumedLength;
    int gpsWeek;
    int lastSecondsOfWeek;
    unsigned int stationFilter;
    ObservationEpoch completed;
    ObservationEpoch collecting;
    int payloadLength;
    int prevLockGpsL1[64];
    int prevLockGpsL2[64];
    int prevLockGloL1[64];
    int prevLockGloL2[64];
    double stationX; // counts of kStationCountMetres
    double stationY;
    double stationZ;
    double antennaHeight;
    char antennaDescriptor[260];
    int mjd;
    int secondsOfDay;
    int leapSeconds;
    // GLONASS epoch time of the last GLONASS observation message, ms of the GLONASS day; the
    // driver needs it to date a file that begins with GLONASS data.
    int lastGlonassEpochMs;
    // GPS epoch time of the last GPS observation message, ms of the GPS week (DF004).
    int lastGpsEpochMs;
    // Synchronous-GNSS flag of the last legacy observation message (DF005, DF039): 0 when it ended its
    // epoch. An epoch ended by a message whose other time released the one before stays collecting.
    int lastSyncFlag;
    // Every station whose observation messages the decoder met, passed by the filter or not: what a
    // file holds when it holds nothing of the filter's station.
    StationBits observingStations;
    // The last MSM observation message, and the GLONASS frequency channels that MSM5 and MSM7 sent
    // (k + 8 by slot - 1, 0 when not known), which MSM4 and MSM6 need for their phases.
    MsmObservations msm;
    int glonassChannels[kMsmMaxSatellites];
    // What the frame search met, for a file's quality report.
    std::uint64_t frameBytes;   // bytes of frames with a correct CRC, of every station
    std::uint64_t badCrcFrames; // frame headers (preamble, reserved bits 0) whose CRC did not match
    StationBits stationsSeen;   // station IDs of every message but 1019 and 1020
};

// The stations of a set, ascending.
std::vector<unsigned int> stationsIn(const StationBits& bits);

// Appends one byte to the frame buffer; true when enough bytes are held for a frame search.
bool appendByte(Rtcm3Decoder& decoder, unsigned char byte);

// Decodes the next frame the buffer holds; false when none is complete.
bool decodeHeldFrame(Rtcm3Decoder& decoder, DecodeResult& result);

// Appends one byte and decodes every frame it completes. After each message of the station,
// onMessage(result) runs while the decoder still holds that message's data: one byte can complete
// several frames (those buffered behind a stray preamble). Returns the last such result of this byte.
template <class OnMessage>
DecodeResult feedByte(Rtcm3Decoder& decoder, unsigned char byte, OnMessage&& onMessage)
{
    DecodeResult last;
    if (!appendByte(decoder, byte))
        return last;
    DecodeResult result;
    while (decodeHeldFrame(decoder, result))
    {
        if (!result.fromStation)
            continue;
        onMessage(result);
        last = result;
    }
    return last;
}

// The same as feeding the bytes one at a time, but a frame's bytes are copied in one piece: the
// search runs at the same bytes, so onMessage sees the same messages in the same decoder state.
template <class OnMessage>
void feedBytes(Rtcm3Decoder& decoder, const unsigned char* data, std::size_t size, OnMessage&& onMessage)
{
    while (size > 0)
    {
        if (decoder.byteCount < 0 || decoder.byteCount >= kFrameBufferSize)
            decoder.byteCount = 0;
        const int wanted =
            std::clamp(decoder.bytesNeeded - decoder.byteCount, 1, kFrameBufferSize - decoder.byteCount);
        const std::size_t taken = std::min(size, static_cast<std::size_t>(wanted));
        std::memcpy(decoder.frame + decoder.byteCount, data, taken);
        decoder.byteCount += static_cast<int>(taken);
        data += taken;
        size -= taken;
        if (decoder.byteCount < decoder.bytesNeeded)
            continue;
        DecodeResult result;
        while (decodeHeldFrame(decoder, result))
        {
            if (result.fromStation)
                onMessage(result);
        }
    }
}

// The same without looking at each message.
inline DecodeResult feedByte(Rtcm3Decoder& decoder, unsigned char byte)
{
    return feedByte(decoder, byte, [](const DecodeResult&) {});
}

// Searches the next frame and decodes it.
DecodeResult nextMessage(Rtcm3Decoder& decoder);

// True when a frame with a correct CRC starts at offset 0 of the frame buffer.
bool syncFrame(Rtcm3Decoder& decoder);

std::uint32_t crc24q(const unsigned char* data, int length);

// Moves a reference GPS week and second of week to the GPS time of a GLONASS epoch given in
// milliseconds of the GLONASS day (UTC(SU) + 3 h), with GPS-UTC from the leap-second table.
void glonassToGpsTime(int& week, int& secondsOfWeek, int glonassMs);
// The same with a known GPS-UTC (a message 1013's count); 0 or less takes the table's.
void glonassToGpsTime(int& week, int& secondsOfWeek, int glonassMs, int leapSeconds);

} // namespace Rtcm3
