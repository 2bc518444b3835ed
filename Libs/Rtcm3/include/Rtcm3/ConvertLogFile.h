// The conversion driver: scans a closed log file, names its RINEX file and starts "makerinex.bat".
#pragma once

#include "Platform/UniqueFile.h"

#include "Rtcm3/Rtcm3Decoder.h"
#include "Rtcm3/ScanContext.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace Rtcm3
{

// Kinds of information a scan must find before a file is worth converting.
enum FoundBits
{
    kFoundObservations = 1,
    kFoundPosition = 2,
    kFoundAntenna = 4,
    kFoundDate = 8,
    kFoundFrequency = 16,
    kFoundAll = 31,
};

constexpr int kScanMessageLimit = 1000;

struct ScanResult
{
    int firstSecondsOfWeek; // GPS time of week of the first observation message
    int mjd;                // from the first 1013
    int secondsOfDay;       // from the first 1013
    int foundBits;
    int messageCount;
    int firstObservationMessage;
    int firstGlonassEpochMs; // valid when the first observation message is GLONASS
    int leapSeconds;         // GPS-UTC from the first 1013; 0 when it carried none
    // A file whose first observation message is an MSM needs no antenna descriptor and no frequency
    // decision, and takes the opening time as its date when it has no 1013: the bits so waived.
    int waivedBits;
    bool datedByOpening;              // mjd and seconds of day are the opening time's
    std::uint32_t firstMsmEpochField; // valid when the first observation message is an MSM
};

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

// Feeds the open file through the zero-filled decoder until everything is found, 1000 messages
// were decoded or the file ends; writes a line to standard error for each kind missing. Reads the
// messages of the context's station; the opening time dates a file of MSM observations without 1013.
bool scanLogFile(std::FILE* file, Rtcm3Decoder& decoder, ScanResult& result, const ScanContext& context = {});

// The standard error lines (without their line end) for the kinds of information not found (the
// found bits with the scan's waived bits).
std::vector<const char*> missingInformation(int foundBits);

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
bool nameRinexFile(std::FILE* file, const std::string& logDirectory, std::string& rinexName,
                   std::string* problem = nullptr, const ScanContext& context = {});

// Scans the closed log file and starts "makerinex.bat <logFilePath> <RINEX name>" without waiting.
// Both paths are texts in the suite's written form. True when the file passed the scan. When it
// did not, or the batch file could not be started, problem gets why (what the file lacks). Without
// an opening time in the context, the file's modification time stands in for it.
bool convertLogFile(const std::string& logFilePath, const std::string& logDirectory,
                    std::string* problem = nullptr, const ScanContext& context = {});

} // namespace Rtcm3
