// The epoch time of an MSM header, in the time of its system, to GPS time.
#include "Rtcm3/Msm.h"
#include "Rtcm3/Rtcm3Decoder.h"
#include "TimeUnits.h"

namespace Rtcm3
{

namespace
{

constexpr int kBeidouLagMs = 14000;        // BeiDou time runs 14 s behind GPS time
constexpr int kGlonassLeadSeconds = 10800; // GLONASS time is UTC(SU) + 3 h
constexpr int kGlonassDayShift = 27;       // DF416 day of week, above DF034 time of day
constexpr std::uint32_t kGlonassTimeOfDayMask = (1u << kGlonassDayShift) - 1;
constexpr std::uint32_t kGlonassUnknownDay = 7;

// The week of a time of week that lies nearest to the reference.
void settleWeek(int& week, int referenceSeconds, int seconds)
{
    if (seconds - referenceSeconds > kSecondsPerWeek / 2)
        --week;
    else if (referenceSeconds - seconds > kSecondsPerWeek / 2)
        ++week;
}

// With the day of the week known, the reference is first moved to that day, so that the time of day
// is resolved on it; the leap seconds come from the conversion of the time of day.
double glonassEpoch(std::uint32_t epochField, int& week, int& secondsOfWeek, int leapSeconds)
{
    const std::uint32_t day = epochField >> kGlonassDayShift;
    const int timeOfDayMs = static_cast<int>(epochField & kGlonassTimeOfDayMask);
    if (day != kGlonassUnknownDay)
    {
        int utcSeconds = static_cast<int>(day) * kSecondsPerDay + timeOfDayMs / 1000 - kGlonassLeadSeconds;
        int utcWeek = week;
        if (utcSeconds < 0)
            utcSeconds += kSecondsPerWeek;
        settleWeek(utcWeek, secondsOfWeek, utcSeconds);
        week = utcWeek;
        secondsOfWeek = utcSeconds;
    }
    glonassToGpsTime(week, secondsOfWeek, timeOfDayMs, leapSeconds);
    return secondsOfWeek * 1000.0 + timeOfDayMs % 1000;
}

} // namespace

bool msmEpochValid(MsmSystem system, std::uint32_t epochField)
{
    if (system == MsmSystem::Glonass)
        return (epochField & kGlonassTimeOfDayMask) < static_cast<std::uint32_t>(kMsPerDay);
    return epochField < static_cast<std::uint32_t>(kMsPerWeek);
}

double msmEpochToGpsTime(MsmSystem system, std::uint32_t epochField, int& week, int& secondsOfWeek,
                         int leapSeconds)
{
    if (system == MsmSystem::Glonass)
        return glonassEpoch(epochField, week, secondsOfWeek, leapSeconds);

    // GPS, QZSS and SBAS time of week, Galileo's alike (its week number differs, not its time of week).
    int ms = static_cast<int>(epochField);
    if (system == MsmSystem::Beidou)
    {
        ms += kBeidouLagMs;
        if (ms >= kMsPerWeek)
            ms -= kMsPerWeek;
    }
    settleWeek(week, secondsOfWeek, ms / 1000);
    secondsOfWeek = ms / 1000;
    return ms;
}

} // namespace Rtcm3
