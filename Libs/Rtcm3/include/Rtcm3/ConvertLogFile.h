// The conversion driver: scans a closed log file, names its RINEX file and starts "makerinex.bat".
#pragma once

#include "Platform/UniqueFile.h"

#include "Rtcm3/QualityFigures.h"
#include "Rtcm3/Rtcm3Decoder.h"
#include "Rtcm3/ScanContext.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Rtcm3
{

// Kinds of information a scan looks for. A file converts with an observation epoch of the station and a
// date (a 1013's, else the opening time's); position and antenna are taken when there.
enum FoundBits
{
    kFoundObservations = 1,
    kFoundPosition = 2,
    kFoundAntenna = 4,
    kFoundDate = 8,
    kFoundAll = 15,
};

// What observation messages of the station the whole file holds.
enum ObservationKinds
{
    kLegacyObservations = 1, // 1001-1004, 1009-1012
    kMsmObservations = 2,    // MSM1 to MSM7 of any system
};

struct ScanResult
{
    int firstSecondsOfWeek; // GPS time of week of the first observation message
    int mjd;                // from the first 1013
    int secondsOfDay;       // from the first 1013
    int foundBits;
    int messageCount; // messages of the station in the whole file
    int firstObservationMessage;
    int firstGlonassEpochMs; // valid when the first observation message is GLONASS
    int leapSeconds;         // GPS-UTC from the first 1013; 0 when it carried none
    // Position and antenna are never needed, and the opening time dates a file without 1013: the bits
    // so waived once the file has observations.
    int waivedBits;
    bool datedByOpening;              // mjd and seconds of day are the opening time's
    std::uint32_t firstMsmEpochField; // valid when the first observation message is an MSM
    int observationKinds;             // ObservationKinds
    double stationX;                  // the first 1005/1006's, counts of 0.0001 m (valid with kFoundPosition)
    double stationY;
    double stationZ;
    double antennaHeight; // of the same message: a 1006's, 0 for a 1005
    // Observation epochs of the station: those of the system (and kind of message) that has the most,
    // each change of its epoch time counting one, so that no dating or flag of the sender can skew it.
    int epochs;
    int systems; // bit 1 << MsmSystem for every system the station observed
    // Every station whose observations the file holds, ascending, the reference station or not.
    std::vector<unsigned int> observingStations;
};

// "3.04" when the file holds any MSM (RINEX 2.11 has no room for their signals and systems), "2.11"
// for legacy GPS/GLONASS observations alone.
const char* rinexVersion(const ScanResult& scan);

// GPS week and second of week of a date: its MJD and seconds of day.
void dateReference(int mjd, int secondsOfDay, int& week, int& secondsOfWeek);

// True for MSM4 to MSM7 of any system.
bool isMsmObservation(int message);

struct EpochTime
{
    int year;
    int month;
    int day;
    int hour;
    int minute;
    double seconds;
    int gpsWeek;
    double secondsOfWeek;
};

// Feeds the whole open file through the zero-filled decoder; the first epoch, the first position and the
// first 1013 count. Reads the messages of the context's station; the opening time dates a file without
// 1013. When the file does not convert, writes a line to standard error for each kind missing; when it
// does without position, antenna or 1013, an information line for each. quality, when given, gets the
// file's quality figures from the same pass.
bool scanLogFile(std::FILE* file, Rtcm3Decoder& decoder, ScanResult& result, const ScanContext& context = {},
                 QualityFigures* quality = nullptr);

// The standard error lines (without their line end) for the kinds of information not found (the
// found bits with the scan's waived bits) of a file that does not convert.
std::vector<const char*> missingInformation(int foundBits);

// What a converting file goes without (the found bits), one text each, as its "Info: " lines say it.
std::vector<const char*> informationTakenWithout(int foundBits);

// The names of the systems of ScanResult::systems: "GPS, GLONASS"; "no system" for none.
std::string systemNames(int systems);

// "0, 278": the stations, in order.
std::string stationList(const std::vector<unsigned int>& stations);

// Calendar time (GPS time taken as UTC) of the first epoch, its week settled by the 1013 date.
void firstEpochTime(int mjd, int secondsOfDay, double firstSecondsOfWeek, EpochTime& time);

// "<directory>\YYYYMMDD_hhmmss.08o"
std::string rinexFileName(const std::string& logDirectory, const EpochTime& time);

// The directory a log file lies in, as written in its path ("." when the path names none): its
// RINEX file goes beside it.
std::string logFileDirectory(const std::string& logFilePath);

using ScanFile = Platform::UniqueFile;

// Opens a closed log file for its scan; no child process inherits the descriptor. When it cannot,
// writes "Can not open file <path>" to standard error and problem gets why.
ScanFile openForScan(const std::string& logFilePath, std::string* problem = nullptr);

// Scans the open log file and names its RINEX file in logDirectory after the first epoch. False
// when the file did not pass the scan; problem then gets what it lacks. Without an opening time in
// the context, the file's modification time stands in for it.
// scanned and quality, when given, get the scan's findings and the file's quality figures.
bool nameRinexFile(std::FILE* file, const std::string& logDirectory, std::string& rinexName,
                   std::string* problem = nullptr, const ScanContext& context = {},
                   ScanResult* scanned = nullptr, QualityFigures* quality = nullptr);

// What "makerinex.bat" is told beside its arguments: the scan's RINEX version and station position, and
// the context's header labels, as "NAME=value" environment entries.
std::vector<std::string> makeRinexEnvironment(const ScanResult& scan, const ScanContext& context);

// The two moments a conversion uses the log file's path: opening the file for its scan and starting
// the script. A caller whose files may be moved meanwhile runs each with the path as it then is.
struct ConversionSteps
{
    std::function<ScanFile(std::string* problem)> open;
    // False when the script could not be started.
    std::function<bool(const std::string& rinexName, const std::vector<std::string>& environment)> start;
    // When given, told what the scan found once the file is scanned, whether it converts or not.
    std::function<void(const ScanResult& scan)> scanned{};
    // Gets the file's quality figures from the scan, whether the file converts or not, when given.
    QualityFigures* quality = nullptr;
};

// Scans the closed log file and starts "makerinex.bat <log file path> <RINEX name>" through the
// steps. Paths are texts in the suite's written form. True when the file passed the scan. When it
// did not, or the batch file could not be started, problem gets why (what the file lacks). Without
// an opening time in the context, the file's modification time stands in for it.
bool convertLogFile(const std::string& logDirectory, const ConversionSteps& steps, std::string* problem,
                    const ScanContext& context);

} // namespace Rtcm3
