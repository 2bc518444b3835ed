// The names of a log file's archive copy by the RINEX 3 long-name convention:
// SSSSMRCCC_S_YYYYDDDHHMM_PPU_FFU_MO.rnx.gz for the observations, ..._PPU_MN.rnx.gz for the navigation.
#pragma once

#include "Rtcm3/ConvertLogFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Rtcm3
{

// What names the station: the marker name's first four characters, else the station number; the
// monument and receiver digits ("00" when empty) and the ISO 3166 alpha-3 country ("XXX" when empty).
struct ArchiveStation
{
    std::string markerName;
    unsigned int station = 0;
    std::string monumentReceiver;
    std::string country;
};

struct ArchiveNames
{
    std::string observation; // file names, without a folder
    std::string navigation;
    // One text for each field given that the convention does not allow as it stands, saying what was
    // taken instead: "country \"Norway\" taken as \"NOR\" (three letters)".
    std::vector<std::string> adjusted;
};

// first: the log file's first epoch; spanMs: from it to the last epoch; intervalMs: between the epochs
// the copy holds, 0 when not known.
ArchiveNames archiveNames(const ArchiveStation& station, const EpochTime& first, std::int64_t spanMs,
                          std::int64_t intervalMs);

// The file period: the span rounded up to whole minutes below an hour, whole hours below a day, whole
// days below 100 ("04M", "01H", "01D"); "00U" beyond.
std::string filePeriod(std::int64_t spanMs);
// The data frequency: "30S", "01S", "10Z" (10 Hz), "01C" (100 Hz), "02M"; "00U" when not known.
std::string dataFrequency(std::int64_t intervalMs);

} // namespace Rtcm3
