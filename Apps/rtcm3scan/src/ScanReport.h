// What rtcm3scan prints: the scan's findings, message counts and released epochs.
#pragma once

#include "Rtcm3/ConvertLogFile.h"

#include <cstdio>
#include <string>

namespace Rtcm3Scan
{

// Findings of the driver's scan, the RINEX name and command line it would use, or what is missing.
void printScan(const std::string& path, const Rtcm3::Rtcm3Decoder& decoder, const Rtcm3::ScanResult& result,
               bool converts);

// Decodes the whole file as the driver does and prints how often each message number of the
// station came. With epochs, also prints every released epoch, one line per satellite, and every
// MSM message, one line per cell. When the scan has a date, the decoder starts from its week and
// time of week, so that epochs carry their real week.
void printWholeFile(std::FILE* file, bool epochs, const Rtcm3::ScanResult& scan, unsigned int station);

// "msm" when the whole file holds any MSM of the station, "legacy" when it holds legacy observations
// alone, "none" otherwise: for the conversion script, which writes RINEX 3.04 but for "legacy".
const char* observationKind(const Rtcm3::ScanResult& scan);

} // namespace Rtcm3Scan
