// GLONASS epoch time (UTC(SU) + 3 h, time of day) to GPS week and second of week.
#include "Rtcm3/Rtcm3Decoder.h"
#include "TimeUnits.h"

namespace Rtcm3
{

namespace
{

struct LeapSecond
{
    int lastDayBefore; // yyyymmdd
    int taiMinusUtc;   // from the next day on
};

constexpr LeapSecond kLeapSeconds[] = {
    {19810630, 20}, {19820630, 21}, {19830630, 22}, {19850630, 23}, {19871231, 24}, {19891231, 25},
    {19901231, 26}, {19920630, 27}, {19930630, 28}, {19940630, 29}, {19951231, 30}, {19970630, 31},
    {19981231, 32}, {20051231, 33}, {20081231, 34}, {20120630, 35}, {20150630, 36}, {20161231, 37},
};
constexpr int kTaiMinusGps = 19;

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::int64_t kDaysIn400Years = 146097;
// 1 to 6 January 1980 plus the three hours by which GLONASS time leads UTC.
constexpr std::int64_t kGlonassOffset = 442800;
// An epoch in a day's first minutes against a reference in its last hour, or the other way round,
// lies across midnight from it.
constexpr int kDayStartSeconds = 300;
constexpr int kDayEndSeconds = kSecondsPerDay - 3600;

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// yyyymmdd of the day the given number of days after 1980-01-01.
int dateOfDay(std::int64_t days)
{
    int year = 1980;
    year += static_cast<int>(days / kDaysIn400Years) * 400;
    days %= kDaysIn400Years;
    while (days >= (isLeapYear(year) ? 366 : 365))
    {
        days -= isLeapYear(year) ? 366 : 365;
        ++year;
    }
    int month = 0;
    while (true)
    {
        const int length = kMonthDays[month] + (month == 1 && isLeapYear(year) ? 1 : 0);
        if (days < length)
            break;
        days -= length;
        ++month;
    }
    return year * 10000 + (month + 1) * 100 + static_cast<int>(days) + 1;
}

int gpsMinusUtc(int date)
{
    int taiMinusUtc = kTaiMinusGps;
    for (const LeapSecond& leap : kLeapSeconds)
    {
        if (leap.lastDayBefore < date)
            taiMinusUtc = leap.taiMinusUtc;
    }
    return taiMinusUtc - kTaiMinusGps;
}

// Start of the given day in the reference count, each boundary moved later by the leap seconds at
// it: from the table, or the one known count for every day.
std::int64_t dayStart(std::int64_t days, int knownLeapSeconds)
{
    return days * kSecondsPerDay + (knownLeapSeconds > 0 ? knownLeapSeconds : gpsMinusUtc(dateOfDay(days)));
}

} // namespace

void glonassToGpsTime(int& week, int& secondsOfWeek, int glonassMs)
{
    glonassToGpsTime(week, secondsOfWeek, glonassMs, 0);
}

void glonassToGpsTime(int& week, int& secondsOfWeek, int glonassMs, int leapSeconds)
{
    const std::int64_t reference =
        static_cast<std::int64_t>(week) * kSecondsPerWeek + secondsOfWeek + kGlonassOffset;
    std::int64_t days = reference > 0 ? reference / kSecondsPerDay : 0;
    if (days > 0 && reference < dayStart(days, leapSeconds))
        --days;
    const std::int64_t timeOfDay = reference - dayStart(days, leapSeconds);

    std::int64_t seconds = secondsOfWeek;
    if (glonassMs < kDayStartSeconds * 1000 && timeOfDay > kDayEndSeconds)
        seconds += kSecondsPerDay;
    else if (timeOfDay < kDayStartSeconds && glonassMs > kDayEndSeconds * 1000)
        seconds -= kSecondsPerDay;
    seconds += glonassMs / 1000 - timeOfDay;

    std::int64_t newWeek = week;
    if (seconds < 0)
    {
        seconds += kSecondsPerWeek;
        --newWeek;
    }
    else if (seconds >= kSecondsPerWeek)
    {
        seconds -= kSecondsPerWeek;
        ++newWeek;
    }
    week = static_cast<int>(newWeek);
    secondsOfWeek = static_cast<int>(seconds);
}

} // namespace Rtcm3
