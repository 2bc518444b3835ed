// The conversion driver: scan of a closed log file, first epoch, RINEX name and hand-off.
#include "Rtcm3/ConvertLogFile.h"
#include "QualityTally.h"
#include "TimeUnits.h"

#include "Platform/NativePath.h"
#include "Rtcm3/MakeRinexLauncher.h"

#include <algorithm>
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
constexpr std::size_t kScanBuffer = 65536;

bool isObservation(int message)
{
    return (message >= 1001 && message <= 1004) || (message >= 1009 && message <= 1012);
}

bool isGlonassObservation(int message)
{
    return message >= 1009 && message <= 1012;
}

// A file that starts with GLONASS data was converted against the seeded week 1000 and time
// of week 0, which keeps the time of day but loses the day of the week. Date that epoch
// against the file's date instead.
void dateGlonassStart(ScanResult& result)
{
    int week = 0;
    int secondsOfWeek = 0;
    dateReference(result.mjd, result.secondsOfDay, week, secondsOfWeek);
    glonassToGpsTime(week, secondsOfWeek, result.firstGlonassEpochMs, result.leapSeconds);
    result.firstSecondsOfWeek = secondsOfWeek;
}

// An MSM epoch carries no week, and GLONASS's leap seconds depend on the date: date the first one
// again against the file's date.
void dateMsmStart(ScanResult& result)
{
    int week = 0;
    int secondsOfWeek = 0;
    dateReference(result.mjd, result.secondsOfDay, week, secondsOfWeek);
    msmEpochToGpsTime(msmSystem(result.firstObservationMessage), result.firstMsmEpochField, week,
                      secondsOfWeek, result.leapSeconds);
    result.firstSecondsOfWeek = secondsOfWeek;
}

// A file with observations needs nothing more than a date, which the opening time gives without a 1013.
void waiveForObservations(ScanResult& result, const ScanContext& context)
{
    if (!(result.foundBits & kFoundObservations))
        return;
    result.waivedBits = kFoundPosition | kFoundAntenna;
    if (!(result.foundBits & kFoundDate) && context.opened != 0)
    {
        utcDate(context.opened, result.mjd, result.secondsOfDay);
        result.datedByOpening = true;
        result.waivedBits |= kFoundDate;
    }
}

void finishScan(ScanResult& result)
{
    if (((result.foundBits | result.waivedBits) & kFoundAll) != kFoundAll)
        return;
    if (isMsmObservation(result.firstObservationMessage))
        dateMsmStart(result);
    else if (isGlonassObservation(result.firstObservationMessage))
        dateGlonassStart(result);
}

// The decoder's roll-over rule keeps a first GPS epoch more than half a week after the reference day in
// that day's week, and moves one more than a day before it into the next. The RINEX name, and convbin after
// it, take the week nearest to the day, whose leap seconds then date the GLONASS epochs: so does the scan.
void settleFirstGpsWeek(Rtcm3Decoder& decoder, int mjd, int secondsOfDay)
{
    EpochTime nearest{};
    firstEpochTime(mjd, secondsOfDay, decoder.lastSecondsOfWeek, nearest);
    ObservationEpoch& epoch = decoder.collecting.week != 0 ? decoder.collecting : decoder.completed;
    epoch.week = nearest.gpsWeek;
    decoder.gpsWeek = nearest.gpsWeek;
}

// Counts the epochs of one kind of observation message: every change of its epoch time as sent.
struct EpochTrack
{
    bool seen = false;
    std::uint32_t last = 0;
    int count = 0;

    void take(std::uint32_t time)
    {
        if (!seen || time != last)
            ++count;
        seen = true;
        last = time;
    }
};

// Legacy GPS and GLONASS, then the MSM of each system: their epoch fields differ.
constexpr int kLegacyGpsTrack = 0;
constexpr int kLegacyGlonassTrack = 1;
constexpr int kMsmTracks = 2;
constexpr int kEpochTracks = kMsmTracks + static_cast<int>(MsmSystem::Beidou) + 1;

// A text for each kind of information a scan did not find, in this order.
struct MissingText
{
    int bit;
    const char* text;
};
constexpr MissingText kMissingLines[] = {{kFoundObservations, "No measurement data on input file"},
                                         {kFoundPosition, "No position information on input file"},
                                         {kFoundAntenna, "No antenna descriptor on input file"},
                                         {kFoundDate, "No date information on input file"}};
constexpr MissingText kTakenWithoutLines[] = {
    {kFoundPosition, "no station position on input file, converting without one"},
    {kFoundAntenna, "no antenna descriptor on input file, converting without one"},
    {kFoundDate, "no date information on input file, dated by the opening of the file"}};

template <std::size_t N>
std::vector<const char*> textsOfMissingBits(int foundBits, const MissingText (&table)[N])
{
    std::vector<const char*> texts;
    for (const MissingText& line : table)
    {
        if (!(foundBits & line.bit))
            texts.push_back(line.text);
    }
    return texts;
}

} // namespace

void dateReference(int mjd, int secondsOfDay, int& week, int& secondsOfWeek)
{
    const int days = mjd - kGpsEpochMjd;
    week = days / 7;
    secondsOfWeek = (days % 7) * kSecondsPerDay + secondsOfDay;
}

bool isMsmObservation(int message)
{
    return msmSystem(message) != MsmSystem::None;
}

const char* rinexVersion(const ScanResult& scan)
{
    return (scan.observationKinds & kMsmObservations) ? "3.04" : "2.11";
}

bool scanLogFile(std::FILE* file, Rtcm3Decoder& decoder, ScanResult& result, const ScanContext& context,
                 QualityFigures* quality)
{
    std::unique_ptr<QualityTally> tally = quality != nullptr ? std::make_unique<QualityTally>() : nullptr;
    decoder.gpsWeek = 1000;
    // From the day the file was opened, GLONASS times take that day's leap seconds and the day nearest
    // to it, as convbin's do: the epochs of the quality figures are those of the RINEX file.
    int openedMjd = 0;
    int openedSecondsOfDay = 0;
    if (context.opened != 0)
    {
        utcDate(context.opened, openedMjd, openedSecondsOfDay);
        dateReference(openedMjd, openedSecondsOfDay, decoder.gpsWeek, decoder.lastSecondsOfWeek);
    }
    decoder.stationFilter = context.station;
    int found = 0;
    int messages = 0;
    int systems = 0;
    EpochTrack tracks[kEpochTracks];
    // Runs for every message, also when one byte completes several frames.
    const auto take = [&](const DecodeResult& decoded)
    {
        const int message = decoded.message;
        if (message == 0)
            return;
        ++messages;
        // Also an MSM the decoder does not read: the converter does.
        if (isAnyMsm(message))
            result.observationKinds |= kMsmObservations;
        // An MSM that could not be read is no observation.
        const bool msm = isMsmObservation(message) && decoder.msm.message == message;
        if (isObservation(message) || msm)
        {
            if (!msm)
                result.observationKinds |= kLegacyObservations;
            const MsmSystem system = msm                             ? decoder.msm.system
                                     : isGlonassObservation(message) ? MsmSystem::Glonass
                                                                     : MsmSystem::Gps;
            systems |= 1 << static_cast<int>(system);
            if (msm)
                tracks[kMsmTracks + static_cast<int>(system)].take(decoder.msm.epochField);
            else if (system == MsmSystem::Glonass)
                tracks[kLegacyGlonassTrack].take(static_cast<std::uint32_t>(decoder.lastGlonassEpochMs));
            else
                tracks[kLegacyGpsTrack].take(static_cast<std::uint32_t>(decoder.lastGpsEpochMs));
            if (!(found & kFoundObservations))
            {
                const bool byMessage = found & kFoundDate;
                if (system == MsmSystem::Gps && !msm && (byMessage || context.opened != 0))
                    settleFirstGpsWeek(decoder, byMessage ? result.mjd : openedMjd,
                                       byMessage ? result.secondsOfDay : openedSecondsOfDay);
                result.firstSecondsOfWeek = decoder.lastSecondsOfWeek;
                result.firstObservationMessage = message;
                result.firstGlonassEpochMs = decoder.lastGlonassEpochMs;
                result.firstMsmEpochField = decoder.msm.epochField;
                found |= kFoundObservations;
            }
        }
        else if ((message == 1005 || message == 1006) && !(found & kFoundPosition))
        {
            result.stationX = decoder.stationX;
            result.stationY = decoder.stationY;
            result.stationZ = decoder.stationZ;
            result.antennaHeight = message == 1006 ? decoder.antennaHeight : 0.0;
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
        if (tally)
            tally->take(decoder, decoded);
    };
    // The whole file: a position, an antenna or a date may come late, an MSM after legacy epochs.
    std::vector<unsigned char> buffer(kScanBuffer);
    std::uint64_t bytes = 0;
    for (std::size_t got = 0; (got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;)
    {
        feedBytes(decoder, buffer.data(), got, take);
        bytes += got;
    }
    result.foundBits = found;
    result.messageCount = messages;
    result.systems = systems;
    result.epochs = std::max_element(std::begin(tracks), std::end(tracks),
                                     [](const auto& a, const auto& b) { return a.count < b.count; })
                        ->count;
    result.observingStations = stationsIn(decoder.observingStations);
    waiveForObservations(result, context);
    finishScan(result);
    if (tally)
        *quality = tally->finish(decoder, result, bytes);
    const int effective = found | result.waivedBits;
    if (effective == kFoundAll)
    {
        for (const char* line : informationTakenWithout(found))
            std::fprintf(stderr, "Info: %s\n", line);
        return true;
    }
    for (const char* line : missingInformation(effective))
        std::fprintf(stderr, "%s\n", line);
    return false;
}

std::vector<const char*> missingInformation(int foundBits)
{
    return textsOfMissingBits(foundBits, kMissingLines);
}

std::vector<const char*> informationTakenWithout(int foundBits)
{
    return textsOfMissingBits(foundBits, kTakenWithoutLines);
}

std::string systemNames(int systems)
{
    std::string names;
    for (int system = static_cast<int>(MsmSystem::Gps); system <= static_cast<int>(MsmSystem::Beidou);
         ++system)
    {
        if (systems & (1 << system))
            names += (names.empty() ? "" : ", ") + std::string(msmSystemName(static_cast<MsmSystem>(system)));
    }
    return names.empty() ? "no system" : names;
}

std::string stationList(const std::vector<unsigned int>& stations)
{
    std::string list;
    for (const unsigned int station : stations)
        list += (list.empty() ? "" : ", ") + std::to_string(station);
    return list;
}

void firstEpochTime(int mjd, int secondsOfDay, double firstSecondsOfWeek, EpochTime& time)
{
    int week = 0;
    int messageSeconds = 0;
    dateReference(mjd, secondsOfDay, week, messageSeconds);
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

std::vector<std::string> makeRinexEnvironment(const ScanResult& scan, const ScanContext& context)
{
    std::vector<std::string> entries{std::string(kRinexVersionVariable) + "=" + rinexVersion(scan),
                                     std::string(kMarkerNameVariable) + "=" + context.markerName,
                                     std::string(kMarkerNumberVariable) + "=" + context.markerNumber,
                                     std::string(kObserverVariable) + "=" + context.observer,
                                     std::string(kAgencyVariable) + "=" + context.agency};
    char position[128] = "";
    if (scan.foundBits & kFoundPosition)
        std::snprintf(position, sizeof position, "%.4f/%.4f/%.4f", scan.stationX * kStationCountMetres,
                      scan.stationY * kStationCountMetres, scan.stationZ * kStationCountMetres);
    entries.push_back(std::string(kApproxPositionVariable) + "=" + position);
    return entries;
}

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
                   std::string* problem, const ScanContext& context, ScanResult* scanned,
                   QualityFigures* quality)
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
    const bool converts = scanLogFile(file, decoder, result, dated, quality);
    if (scanned != nullptr)
        *scanned = result;
    if (!converts)
    {
        std::string missing;
        for (const char* line : missingInformation(result.foundBits | result.waivedBits))
            missing += (missing.empty() ? "" : "; ") + std::string(line);
        tell(problem, missing);
        return false;
    }
    EpochTime time{};
    firstEpochTime(result.mjd, result.secondsOfDay, result.firstSecondsOfWeek, time);
    rinexName = rinexFileName(logDirectory, time);
    return true;
}

bool convertLogFile(const std::string& logDirectory, const ConversionSteps& steps, std::string* problem,
                    const ScanContext& context)
{
    ScanFile file = steps.open(problem);
    if (!file)
        return false;
    std::string rinexName;
    ScanResult scan{};
    const bool converts =
        nameRinexFile(file.get(), logDirectory, rinexName, problem, context, &scan, steps.quality);
    file.reset();
    if (steps.scanned)
        steps.scanned(scan);
    if (!converts)
        return false;
    if (!steps.start(rinexName, makeRinexEnvironment(scan, context)))
        tell(problem, std::string("Can not start ") + kMakeRinexProgram);
    return true;
}

} // namespace Rtcm3
