// The speed of light and the carrier frequencies that turn ranges into cycles.
#pragma once

namespace Rtcm3
{

constexpr double kSpeedOfLight = 299792458.0;       // m/s
constexpr double kLightMs = kSpeedOfLight / 1000.0; // metres in one light-millisecond

// Carrier frequencies in Hz.
constexpr double kL1 = 1575.42e6;   // GPS L1, Galileo E1, QZSS L1, SBAS L1, BeiDou B1C
constexpr double kL2 = 1227.60e6;   // GPS and QZSS L2
constexpr double kL5 = 1176.45e6;   // GPS, QZSS and SBAS L5, Galileo E5a, BeiDou B2a
constexpr double kE5b = 1207.14e6;  // Galileo E5b, BeiDou B2I and B2b
constexpr double kE5 = 1191.795e6;  // Galileo E5 (a+b)
constexpr double kE6 = 1278.75e6;   // Galileo E6, QZSS L6
constexpr double kB1I = 1561.098e6; // BeiDou B1I
constexpr double kB3 = 1268.52e6;   // BeiDou B3
constexpr double kG1 = 1602.0e6;    // GLONASS G1 base, channel spacing 562.5 kHz
constexpr double kG1Step = 562500.0;
constexpr double kG2 = 1246.0e6; // GLONASS G2 base, channel spacing 437.5 kHz
constexpr double kG2Step = 437500.0;

// A GLONASS satellite's carrier of band '1' or '2' on its frequency channel k.
constexpr double glonassFrequency(char band, int channel)
{
    return band == '1' ? kG1 + channel * kG1Step : kG2 + channel * kG2Step;
}

} // namespace Rtcm3
