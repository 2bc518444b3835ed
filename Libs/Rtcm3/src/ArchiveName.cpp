// The RINEX 3 long names of an archive copy; fields fitted to the convention.
#include "Rtcm3/ArchiveName.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace Rtcm3
{

namespace
{

constexpr std::size_t kMarkerWidth = 4;
constexpr std::size_t kMonumentReceiverWidth = 2;
constexpr std::size_t kCountryWidth = 3;
constexpr char kDefaultMonumentReceiver[] = "00";
constexpr char kDefaultCountry[] = "XXX";
// The data source: the logger's files are an RTCM stream ("R" would be a receiver's own data).
constexpr char kStreamSource = 'S';
constexpr char kObservationSuffix[] = "_MO.rnx.gz"; // mixed systems, observations; gzip
constexpr char kNavigationSuffix[] = "_MN.rnx.gz";
constexpr char kUnspecified[] = "00U";
constexpr std::int64_t kMinuteMs = 60'000;
constexpr std::int64_t kHourMs = 60 * kMinuteMs;
constexpr std::int64_t kDayMs = 24 * kHourMs;
constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kMostInField = 99; // two digits

struct Field
{
    const char* what;
    std::size_t width;
    bool (*allowed)(char);
    char fill;
    const char* rule;
    bool firstCharacters; // the field takes the text's first characters: no note for the rest
};

bool letterOrDigit(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
bool digit(char c)
{
    return c >= '0' && c <= '9';
}
bool letter(char c)
{
    return c >= 'A' && c <= 'Z';
}

constexpr Field kMarker{"marker name", kMarkerWidth, letterOrDigit, '0', "four letters or digits", true};
constexpr Field kMonumentReceiver{
    "monument and receiver", kMonumentReceiverWidth, digit, '0', "two digits", false};
constexpr Field kCountry{"country", kCountryWidth, letter, 'X', "three letters", false};

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Upper case, cut to the field's width, each character the field may not hold replaced by its fill, and
// filled up to the width; a note when that is not the text as given.
std::string fitted(const std::string& given, const Field& field, std::vector<std::string>& adjusted)
{
    std::string text = upper(given).substr(0, field.width);
    const std::string taken = field.firstCharacters ? text : upper(given);
    for (char& c : text)
        c = field.allowed(c) ? c : field.fill;
    text.resize(field.width, field.fill);
    if (text != taken)
        adjusted.push_back(std::string(field.what) + " \"" + given + "\" taken as \"" + text + "\" (" +
                           field.rule + ")");
    return text;
}

// A count of whole units, rounded up, at least one.
std::int64_t unitsUp(std::int64_t ms, std::int64_t unit)
{
    return ms <= 0 ? 1 : (ms + unit - 1) / unit;
}

std::string twoDigits(std::int64_t count, char unit)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d%c", static_cast<int>(count), unit);
    return text;
}

int dayOfYear(const EpochTime& time)
{
    std::tm date{};
    date.tm_year = time.year - 1900;
    date.tm_mon = time.month - 1;
    date.tm_mday = time.day;
    const std::time_t at = ::timegm(&date);
    std::tm broken{};
    gmtime_r(&at, &broken);
    return broken.tm_yday + 1;
}

} // namespace

std::string filePeriod(std::int64_t spanMs)
{
    if (const std::int64_t minutes = unitsUp(spanMs, kMinuteMs); minutes < 60)
        return twoDigits(minutes, 'M');
    if (const std::int64_t hours = unitsUp(spanMs, kHourMs); hours < 24)
        return twoDigits(hours, 'H');
    if (const std::int64_t days = unitsUp(spanMs, kDayMs); days <= kMostInField)
        return twoDigits(days, 'D');
    return kUnspecified;
}

std::string dataFrequency(std::int64_t intervalMs)
{
    if (intervalMs <= 0)
        return kUnspecified;
    if (intervalMs < kSecondMs)
    {
        const std::int64_t hertz = (kSecondMs + intervalMs / 2) / intervalMs;
        return hertz <= kMostInField ? twoDigits(hertz, 'Z')
                                     : twoDigits(std::min(hertz / 100, kMostInField), 'C');
    }
    const std::int64_t seconds = (intervalMs + kSecondMs / 2) / kSecondMs;
    if (seconds <= kMostInField)
        return twoDigits(seconds, 'S');
    if (seconds / 60 <= kMostInField)
        return twoDigits(seconds / 60, 'M');
    if (seconds / 3600 <= kMostInField)
        return twoDigits(seconds / 3600, 'H');
    return kUnspecified;
}

ArchiveNames archiveNames(const ArchiveStation& station, const EpochTime& first, std::int64_t spanMs,
                          std::int64_t intervalMs)
{
    ArchiveNames names;
    char number[16];
    std::snprintf(number, sizeof number, "%04u", station.station);
    const std::string marker = station.markerName.empty()
                                   ? std::string(number)
                                   : fitted(station.markerName, kMarker, names.adjusted);
    const std::string monumentReceiver =
        station.monumentReceiver.empty()
            ? std::string(kDefaultMonumentReceiver)
            : fitted(station.monumentReceiver, kMonumentReceiver, names.adjusted);
    const std::string country = station.country.empty() ? std::string(kDefaultCountry)
                                                        : fitted(station.country, kCountry, names.adjusted);
    char start[32];
    std::snprintf(start, sizeof start, "_%c_%04d%03d%02d%02d_", kStreamSource, first.year, dayOfYear(first),
                  first.hour, first.minute);
    const std::string stem =
        marker.substr(0, kMarkerWidth) + monumentReceiver + country + start + filePeriod(spanMs);
    names.observation = stem + "_" + dataFrequency(intervalMs) + kObservationSuffix;
    names.navigation = stem + kNavigationSuffix;
    return names;
}

} // namespace Rtcm3
