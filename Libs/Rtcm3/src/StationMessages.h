// The message header and the station messages (1005 to 1008, 1013, 1033): what the decoder reads and
// the frame writer writes.
#pragma once

#include "Rtcm3/Frame.h"

namespace Rtcm3
{

constexpr int kMessageNumberBits = 12; // DF002
constexpr int kStationIdBits = 12;     // DF003

// 1005 and 1006: X, then Y, then Z, each after flags.
constexpr int kPositionFlagBits = 10;  // DF021 ITRF year 6, DF022 to DF024 systems, DF141
constexpr int kCoordinateBits = 38;    // DF025, DF026, DF027, counts of kStationCountMetres
constexpr int kOscillatorBits = 2;     // DF142 single receiver oscillator 1, DF001 reserved 1
constexpr int kQuarterCycleBits = 2;   // DF364
constexpr int kAntennaHeightBits = 16; // DF028

// 1007, 1008 and 1033: counted texts, each a count of characters and the characters.
constexpr int kCounterBits = 8;           // DF029 descriptor, DF032 serial number, DF227/229/231 receiver
constexpr int kDescriptorCounterByte = 3; // DF029, the payload byte after message number and station
constexpr int kAntennaSetupIdBits = 8;    // DF031

// 1013.
constexpr int kMjdBits = 16;              // DF051
constexpr int kSecondsOfDayBits = 17;     // DF052
constexpr int kAnnouncementCountBits = 5; // DF053
constexpr int kLeapSecondsBits = 8;       // DF054

} // namespace Rtcm3
