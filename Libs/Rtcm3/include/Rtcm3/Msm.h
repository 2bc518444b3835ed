// Multiple Signal Messages (MSM4 to MSM7) of GPS, GLONASS, Galileo, SBAS, QZSS and BeiDou: what one
// message holds once decoded, and the facts about systems and signals that a reader of it needs.
#pragma once

#include <cstdint>

namespace Rtcm3
{

constexpr int kMsmMaxSatellites = 64;
constexpr int kMsmMaxSignals = 32;
constexpr int kMsmMaxCells = 64; // the cell mask of one message has at most 64 bits

enum class MsmSystem : int
{
    None = 0,
    Gps,
    Glonass,
    Galileo,
    Sbas,
    Qzss,
    Beidou,
};

// Which values of a cell the message carried as valid.
enum MsmCellBits
{
    kMsmPseudorange = 1,
    kMsmPhase = 2,
    kMsmPhaseRate = 4,
    kMsmCnr = 8,
};

// One satellite and signal of one message.
struct MsmCell
{
    int satellite;         // RINEX number within the system (G05, R12, E24, S23, J03, C19 carry 5, 12, ...)
    int signal;            // signal ID, 1 to 32
    int valid;             // MsmCellBits
    double pseudorange;    // m
    double phase;          // cycles
    double phaseRangeRate; // m/s
    double cnr;            // dB-Hz
    int lockTimeMs;        // minimum lock time the indicator stands for
    int halfCycle;         // 1: half-cycle ambiguity not resolved
};

// The last MSM observation message that passed the station filter.
struct MsmObservations
{
    int message; // 0 when the last one could not be decoded (no room, or a payload too short)
    MsmSystem system;
    int week;                 // GPS week of the epoch
    double timeOfWeek;        // ms of the GPS week: the epoch converted to GPS time
    std::uint32_t epochField; // the epoch time as sent, for dating it again against another reference
    int multipleMessage;      // 1: more messages of this epoch and system follow
    int satelliteCount;
    int signalCount;
    int cellCount;
    MsmCell cells[kMsmMaxCells];
};

// MSM numbers: the tens name the system, from GPS at 107x to NavIC at 113x; the last digit is the kind,
// MSM1 to MSM7.
constexpr int kMsmFirstMessage = 1071;
constexpr int kMsmLastMessage = 1137;
constexpr int kMsmLastKind = 7;
constexpr int kMsmFirstObservationKind = 4; // MSM4 to MSM7 carry whole observations

// MSM1 to MSM7 of any system, also those not decoded here.
bool isAnyMsm(int message);

// The system of MSM4 to MSM7 messages; None for every other message number.
MsmSystem msmSystem(int message);

// 'G', 'R', 'E', 'S', 'J', 'C' as RINEX names the systems.
char msmSystemLetter(MsmSystem system);

// "GPS", "GLONASS", ...
const char* msmSystemName(MsmSystem system);

// The RINEX 3 band and attribute of a signal ID ("1C", "2L", "7Q"), or nullptr when the ID is not defined.
const char* msmSignalCode(MsmSystem system, int signal);

// Carrier wavelength in metres; 0 when not known (a GLONASS satellite whose channel is not known, an
// undefined signal). glonassChannel is k, -7 to 6.
double msmWavelength(MsmSystem system, int signal, int glonassChannel);

// False for an epoch time past the end of its week (GLONASS: its day).
bool msmEpochValid(MsmSystem system, std::uint32_t epochField);

// Moves a reference GPS week and second of week (in and out) to the GPS time of an MSM epoch field of
// the given system; returns the epoch's milliseconds of the GPS week. GLONASS time takes GPS-UTC from
// leapSeconds (a 1013's count), or from the leap-second table when that is 0.
double msmEpochToGpsTime(MsmSystem system, std::uint32_t epochField, int& week, int& secondsOfWeek,
                         int leapSeconds = 0);

} // namespace Rtcm3
