// The archive copy of a converted file: what "makerinex.bat" is told to write, by the RINEX 3 long-name
// convention, in the folder of the token RINEX_ARCHIVE_DIR.
#pragma once

#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/QualityFigures.h"
#include "Rtcm3/ScanContext.h"

#include <string>
#include <vector>

// Where the archive copies go (a drive path; empty: none), the monument and receiver digits and the
// country of their names, and the interval in seconds they are sampled to (0: as recorded); read as
// each file's conversion begins.
inline constexpr char kTokenArchiveDir[] = "RINEX_ARCHIVE_DIR";
inline constexpr char kTokenMonumentReceiver[] = "RINEX_MONUMENT_RECEIVER";
inline constexpr char kTokenCountry[] = "RINEX_COUNTRY";
inline constexpr char kTokenArchiveInterval[] = "RINEX_ARCHIVE_INTERVAL_S";

struct ArchiveCopy
{
    // "NAME=value" entries for the script, each empty when no copy is asked for, so that no variable of
    // the logger's own environment asks for one.
    std::vector<std::string> environment;
    std::string observation; // the copy's observation file, written form; empty: none asked for
    // A text for each name field of the tokens that the convention does not allow as it stands.
    std::vector<std::string> adjusted;
};

// The copy of a file that passed the scan: named after its first epoch, the span of its epochs and the
// interval written (the token's, or the recorded one when that is longer).
ArchiveCopy archiveCopy(const Rtcm3::ScanContext& context, const Rtcm3::ScanResult& scan,
                        const Rtcm3::QualityFigures& quality);
