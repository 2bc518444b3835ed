// The position sent to a network (VRS) mountpoint as an NMEA GGA sentence.
#include "GgaSentence.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace
{

constexpr double kMicroMinutesPerDegree = 60.0 * 1e6;

// ddmm.mmmmmm (dddmm.mmmmmm for a longitude) and its hemisphere, rounded once so that 59.9999999
// minutes never shows as 60.
std::string angle(double degrees, int degreeDigits, char positive, char negative)
{
    const long long microMinutes = std::llround(std::fabs(degrees) * kMicroMinutesPerDegree);
    const long long whole = microMinutes / static_cast<long long>(kMicroMinutesPerDegree);
    const double minutes =
        static_cast<double>(microMinutes % static_cast<long long>(kMicroMinutesPerDegree)) / 1e6;
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld%09.6f,%c", degreeDigits, whole, minutes,
                  degrees < 0 ? negative : positive);
    return text;
}

} // namespace

bool parseGgaPosition(std::string_view text, GgaPosition& position, std::string& error)
{
    double values[3] = {};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i)
    {
        const auto [next, problem] = std::from_chars(at, end, values[i]);
        const char wanted = i < 2 ? ',' : '\0';
        if (problem != std::errc() || (wanted != '\0' ? next == end || *next != wanted : next != end))
        {
            error = "--gga takes LAT,LON,HEIGHT in degrees and metres, such as 52.3731,4.8922,40.5";
            return false;
        }
        at = next + (wanted != '\0' ? 1 : 0);
    }
    // Written so that "nan", which from_chars takes, is refused too.
    if (!(std::fabs(values[0]) <= 90 && std::fabs(values[1]) <= 180 && std::fabs(values[2]) <= 100000))
    {
        error = "--gga: a latitude within 90 degrees, a longitude within 180 and a height within 100 km";
        return false;
    }
    position = {values[0], values[1], values[2]};
    return true;
}

std::string ggaSentence(const GgaPosition& position, std::chrono::system_clock::time_point at)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char body[160];
    // Fix quality 1 with 12 satellites and an HDOP of 1: a caster takes the position of a receiver
    // with a fix only. The height is given as above the geoid, with no separation.
    std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.00,%s,%s,1,12,1.0,%.3f,M,0.000,M,,", utc.tm_hour,
                  utc.tm_min, utc.tm_sec, angle(position.latitude, 2, 'N', 'S').c_str(),
                  angle(position.longitude, 3, 'E', 'W').c_str(), position.height);
    unsigned char checksum = 0;
    for (const char* c = body; *c != '\0'; ++c)
        checksum ^= static_cast<unsigned char>(*c);
    char sentence[200];
    std::snprintf(sentence, sizeof sentence, "$%s*%02X\r\n", body, checksum);
    return sentence;
}
