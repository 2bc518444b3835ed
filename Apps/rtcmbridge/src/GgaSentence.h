// The position a network (VRS) mountpoint computes its corrections for, sent to the caster as an NMEA GGA
// sentence.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

struct GgaPosition
{
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
    double height = 0;    // metres
};

// "LAT,LON,HEIGHT" in degrees and metres; false with the reason otherwise.
bool parseGgaPosition(std::string_view text, GgaPosition& position, std::string& error);

// "$GPGGA,...*CS\r\n" for the position at that time, as a receiver with a fix would send it.
std::string ggaSentence(const GgaPosition& position, std::chrono::system_clock::time_point at);
