// The conversion driver: scan of a closed log file, first epoch, RINEX name and hand-off.
#include "Rtcm3/ConvertLogFile.h"
#include "TimeUnits.h"

#include "Platform/NativePath.h"
#include "Rtcm3/MakeRinexLauncher.h"

#include <cmath>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace Rtcm3
{

namespace
{

constexpr int kGpsEpochMjd = 44244;               // 1980-01-06
constexpr std::int64_t kGpsEpochUnix = 315964800; // 1980-01-06 00:00:00 in seconds since 1970
constexpr int kL1CountForDecision = 100;

bool isObservation(int message)
{
    return (message >= 1001 && message <= 1004) || (message >= 1009 && message <= 1012);
}

bool isGlonassObservation(int message)
{
    return message >= 1009 && message <= 1012;
}

void countFrequencies(const ObservationEpoch& epoch, int& l1Count, int& l2Count)
{
    bool l1 = false;
    bool l2 = false;
    for (int row = 0; row < kMaxSatellites; ++row)
    {
        l1 = l1 || (epoch.masks[row] & kL1SlotBits) != 0;
        l2 = l2 || (epoch.masks[row] & kL2SlotBits) != 0;
    }
    if (l2)
        ++l2Count;
    if (l1)
        ++l1Count;
}

// GPS week and second of week at the start of the file's date.
void dateReference(const ScanResult& result, int& week, int& secondsOfWeek)
{
    const int days = result.mjd - kGpsEpochMjd;
    week = days / 7;
    secondsOfWeek = (days % 7) * kSecondsPerDay + result.secondsOfDay;
}

// A file that starts with GLONASS data was converted against the seeded week 1000 and time
// of week 0, which keeps the time of day but loses the day of the week. Date that epoch
// against the 1013 message instead.
void dateGlonassStart(ScanResult& result)
{
    int week = 0;
    int secondsOfWeek = 0;
    dateReference(result, week, secondsOfWeek);
    glonassToGpsTime(week, secondsOfWeek, result.firstGlonassEpochMs, result.leapSeconds);
    result.firstSecondsOfWeek = secondsOfWeek;
}

// An MSM epoch carries no week, and GLONASS's leap seconds depend on the date: date the first one
// again against the file's date.
void dateMsmStart(ScanResult& result)
{
    int week = 0;
    int secondsOfWeek = 0;
    dateReference(result, week, secondsOfWeek);
    msmEpochToGpsTime(msmSystem(result.firstObservationMessage), result.firstMsmEpochField, week,
                      secondsOfWeek, result.leapSeconds);
    result.firstSecondsOfWeek = secondsOfWeek;
}

// The rule for a file whose first observations are MSM: a position and a date are enough.
void waiveForMsm(ScanResult& result, const ScanContext& context)
{
    result.waivedBits = kFoundAntenna | kFoundFrequency;
    if (!(result.foundBits & kFoundDate) && context.opened != 0)
    {
        utcDate(context.opened, result.mjd, result.secondsOfDay);
        result.datedByOpening = true;
        result.waivedBits |= kFoundDate;
    }
}

void finishScan(ScanResult& result)
{
    const int needed = kFoundObservations | kFoundDate;
    if (((result.foundBits | result.waivedBits) & needed) != needed)
        return;
    if (isMsmObservation(result.firstObservationMessage))
        dateMsmStart(result);
    else if (isGlonassObservation(result.firstObservationMessage))
        dateGlonassStart(result);
}

} // namespace

bool isMsmObservation(int message)
{
    return msmSystem(message) != MsmSystem::None;
}

bool scanLogFile(std::FILE* file, Rtcm3Decoder& decoder, ScanResult& result, const ScanContext& context)
{
    decoder.gpsWeek = 1000;
    decoder.stationFilter = context.station;
    int waived = 0;
    int found = 0;
    int messages = 0;
    int l1Count = 0;
    int l2Count = 0;
    const auto done = [&] { return messages >= kScanMessageLimit || (found | waived) == kFoundAll; };
    // Runs for every message, also when one byte completes several frames.
    const auto take = [&](int)
    {
        const int message = decoder.lastMessage;
        if (message == 0 || done())
            return;
        ++messages;
        // An MSM that could not be read is no observation.
        const bool msm = isMsmObservation(message) && decoder.msm.message == message;
        if (isObservation(message) || msm)
        {
            if (!(found & kFoundObservations))
            {
                result.firstSecondsOfWeek = decoder.lastSecondsOfWeek;
                result.firstObservationMessage = message;
                result.firstGlonassEpochMs = decoder.lastGlonassEpochMs;
                result.firstMsmEpochField = decoder.msm.epochField;
                found |= kFoundObservations;
                // Read on for a 1013 and an antenna descriptor, which such a file may still carry.
                if (msm)
                    waived = kFoundFrequency;
            }
            if (!msm && !(found & kFoundFrequency))
            {
                countFrequencies(decoder.completed, l1Count, l2Count);
                if (l2Count != 0 || l1Count >= kL1CountForDecision)
                    found |= kFoundFrequency;
            }
        }
        else if (message == 1005 || message == 1006)
        {
            found |= kFoundPosition;
        }
        else if (message == 1007 || message == 1008 || message == 1033)
        {
            found |= kFoundAntenna;
        }
        else if (message == 1013 && !(found & kFoundDate))
        {
            result.mjd = decoder.mjd;
            result.secondsOfDay = decoder.secondsOfDay;
            result.leapSeconds = decoder.leapSeconds;
            found |= kFoundDate;
        }
    };
    int c = 0;
    while (!done() && (c = std::getc(file)) != EOF)
        feedByte(decoder, static_cast<unsigned char>(c), take);
    result.foundBits = found;
    result.messageCount = messages;
    if (isMsmObservation(result.firstObservationMessage))
        waiveForMsm(result, context);
    finishScan(result);
    const int effective = found | result.waivedBits;
    for (const char* line : missingInformation(effective))
        std::fprintf(stderr, "%s\n", line);
    if (effective == kFoundAll && !(found & kFoundAntenna))
        std::fputs("Info: no antenna descriptor on input file, converting without one\n", stderr);
    return effective == kFoundAll;
}

std::vector<const char*> missingInformation(int foundBits)
{
    std::vector<const char*> lines;
    if (!(foundBits & kFoundObservations))
        lines.push_back("No measurement data on input file");
    if (!(foundBits & kFoundPosition))
        lines.push_back("No position information on input file");
    if (!(foundBits & kFoundAntenna))
        lines.push_back("No antenna descriptor on input file");
    if (!(foundBits & kFoundDate))
        lines.push_back("No date information on input file");
    return lines;
}

void firstEpochTime(int mjd, int secondsOfDay, double firstSecondsOfWeek, EpochTime& time)
{
    const int days = mjd - kGpsEpochMjd;
    int week = days / 7;
    const double messageSeconds = static_cast<double>((days % 7) * kSecondsPerDay) + secondsOfDay;
    if (firstSecondsOfWeek - messageSeconds > kSecondsPerWeek / 2)
        --week;
    else if (messageSeconds - firstSecondsOfWeek > kSecondsPerWeek / 2)
        ++week;

    const auto unixTime = static_cast<std::time_t>(
        static_cast<std::int64_t>(static_cast<double>(week) * kSecondsPerWeek + firstSecondsOfWeek) +
        kGpsEpochUnix);
    std::tm broken{};
    gmtime_r(&unixTime, &broken);
    time.year = broken.tm_year + 1900;
    time.month = broken.tm_mon + 1;
    time.day = broken.tm_mday;
    time.hour = broken.tm_hour;
    time.minute = broken.tm_min;
    time.seconds = broken.tm_sec + (firstSecondsOfWeek - std::trunc(firstSecondsOfWeek));
    time.gpsWeek = week;
    time.secondsOfWeek = firstSecondsOfWeek;
}

std::string rinexFileName(const std::string& logDirectory, const EpochTime& time)
{
    char name[64];
    std::snprintf(name, sizeof name, "%02d%02d%02d_%02d%02d%02d.08o", time.year, time.month, time.day,
                  time.hour, time.minute, static_cast<int>(time.seconds));
    // One backslash is always inserted, also after a directory that already ends with one.
    return logDirectory + "\\" + name;
}

std::string logFileDirectory(const std::string& logFilePath)
{
    const std::size_t separator = logFilePath.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : logFilePath.substr(0, separator);
}

namespace
{

void tell(std::string* problem, std::string text)
{
    if (problem != nullptr)
        *problem = std::move(text);
}

} // namespace

ScanFile openForScan(const std::string& logFilePath, std::string* problem)
{
    tell(problem, "");
    // "e": the scan's own descriptor must not reach the conversion child.
    ScanFile file(std::fopen(Platform::nativePath(logFilePath).c_str(), "rbe"));
    if (!file)
    {
        std::fprintf(stderr, "Can not open file %s\n", logFilePath.c_str());
        tell(problem, "Can not open file");
    }
    return file;
}

bool nameRinexFile(std::FILE* file, const std::string& logDirectory, std::string& rinexName,
                   std::string* problem, const ScanContext& context)
{
    tell(problem, "");
    ScanContext dated = context;
    struct stat status
    {
    };
    if (dated.opened == 0 && ::fstat(::fileno(file), &status) == 0)
        dated.opened = status.st_mtime;
    Rtcm3Decoder decoder{};
    ScanResult result{};
    if (!scanLogFile(file, decoder, result, dated))
    {
        std::string missing;
        for (const char* line : missingInformation(result.foundBits | result.waivedBits))
            missing += (missing.empty() ? "" : "; ") + std::string(line);
        tell(problem,
             missing.empty() ? "No L2 data and fewer than 100 messages with L1 data on input file" : missing);
        return false;
    }
    EpochTime time{};
    firstEpochTime(result.mjd, result.secondsOfDay, result.firstSecondsOfWeek, time);
    rinexName = rinexFileName(logDirectory, time);
    return true;
}

bool convertLogFile(const std::string& logFilePath, const std::string& logDirectory, std::string* problem,
                    const ScanContext& context)
{
    ScanFile file = openForScan(logFilePath, problem);
    std::string rinexName;
    if (!file || !nameRinexFile(file.get(), logDirectory, rinexName, problem, context))
        return false;
    file.reset();
    if (!launchMakeRinex(logFilePath, rinexName, context.station))
        tell(problem, std::string("Can not start ") + kMakeRinexProgram);
    return true;
}

} // namespace Rtcm3
