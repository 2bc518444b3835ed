// What rtcm3scan prints: the scan's findings, message counts and released epochs.
#include "ScanReport.h"

#include "Platform/NativePath.h"
#include "Rtcm3/MakeRinexLauncher.h"

#include <map>

namespace Rtcm3Scan
{

namespace
{

const char* const kSlotNames[Rtcm3::kObservationSlots] = {"C1", "C2", "P1", "P2", "L1C", "L1P", "L2C", "L2P",
                                                          "-",  "-",  "-",  "-",  "S1C", "S1P", "S2C", "S2P"};

std::string satelliteName(int number)
{
    char name[16];
    if (number >= 1 && number <= 32)
        std::snprintf(name, sizeof name, "G%02d", number);
    else if (number > Rtcm3::kGlonassNumberOffset && number <= Rtcm3::kGlonassNumberOffset + 24)
        std::snprintf(name, sizeof name, "R%02d", number - Rtcm3::kGlonassNumberOffset);
    else if (number >= 120 && number <= 138)
        std::snprintf(name, sizeof name, "S%02d", number - 100);
    else
        std::snprintf(name, sizeof name, "#%d", number);
    return name;
}

const char* yesNo(int bits, int bit)
{
    return (bits & bit) ? "found" : "MISSING";
}

// "result 2": the pseudoranges are known only modulo one light-millisecond.
void printEpoch(const Rtcm3::ObservationEpoch& epoch, bool modulo)
{
    std::printf("epoch week %d tow %.3f s, %d satellites, result %d%s\n", epoch.week,
                epoch.timeOfWeek / 1000.0, epoch.satelliteCount, modulo ? 2 : 1,
                modulo ? " (ranges modulo 1 ms)" : "");
    for (int row = 0; row < epoch.satelliteCount; ++row)
    {
        const int mask = epoch.masks[row];
        std::printf("  %-4s mask 0x%08x", satelliteName(epoch.satellites[row]).c_str(),
                    static_cast<unsigned>(mask));
        for (int slot = 0; slot < Rtcm3::kObservationSlots; ++slot)
        {
            if (mask & (1 << slot))
                std::printf(" %s=%.4f", kSlotNames[slot], epoch.values[row][slot]);
        }
        std::printf(" strength %d/%d", epoch.l1Strength[row], epoch.l2Strength[row]);
        if (mask & Rtcm3::kFlagL1LossOfLock)
            std::printf(" LLI1");
        if (mask & Rtcm3::kFlagL2LossOfLock)
            std::printf(" LLI2");
        if (mask & Rtcm3::kFlagL2CrossCorrelated)
            std::printf(" XCORR");
        std::printf("\n");
    }
}

void printMsm(const Rtcm3::MsmObservations& msm)
{
    std::printf("msm %d %s epoch week %d tow %.3f s, %d satellites, %d signals, %d cells%s\n", msm.message,
                Rtcm3::msmSystemName(msm.system), msm.week, msm.timeOfWeek / 1000.0, msm.satelliteCount,
                msm.signalCount, msm.cellCount,
                msm.multipleMessage ? ", more messages of this epoch follow" : "");
    for (int c = 0; c < msm.cellCount; ++c)
    {
        const Rtcm3::MsmCell& cell = msm.cells[c];
        const char* code = Rtcm3::msmSignalCode(msm.system, cell.signal);
        std::printf("  %c%02d %-3s", Rtcm3::msmSystemLetter(msm.system), cell.satellite,
                    code != nullptr ? code : "?");
        if (cell.valid & Rtcm3::kMsmPseudorange)
            std::printf(" pseudorange=%.4f", cell.pseudorange);
        if (cell.valid & Rtcm3::kMsmPhase)
            std::printf(" phase=%.4f", cell.phase);
        if (cell.valid & Rtcm3::kMsmPhaseRate)
            std::printf(" rate=%.4f", cell.phaseRangeRate);
        if (cell.valid & Rtcm3::kMsmCnr)
            std::printf(" cnr=%.4f", cell.cnr);
        std::printf(" lock %d ms%s\n", cell.lockTimeMs, cell.halfCycle ? " HALF-CYCLE" : "");
    }
}

} // namespace

void printScan(const std::string& path, const Rtcm3::Rtcm3Decoder& decoder, const Rtcm3::ScanResult& result,
               bool converts)
{
    const int found = result.foundBits;
    const int waived = result.waivedBits;
    const auto notFound = [&](int bit)
    { return (waived & bit) ? "not found (converting without)" : "MISSING"; };
    std::printf("file: %s\n", path.c_str());
    std::printf("messages of the station: %d\n", result.messageCount);
    // Of every station: a file of another station than the one asked for says so here.
    std::printf("observing stations:   %s\n", result.observingStations.empty()
                                                  ? "none"
                                                  : Rtcm3::stationList(result.observingStations).c_str());
    std::printf("observation data:     %s", yesNo(found, Rtcm3::kFoundObservations));
    if (found & Rtcm3::kFoundObservations)
        std::printf(" (first message %d, time of week %d s)", result.firstObservationMessage,
                    result.firstSecondsOfWeek);
    std::printf("\nstation position:     ");
    if (found & Rtcm3::kFoundPosition)
        std::printf(
            "found (X %.4f m, Y %.4f m, Z %.4f m, antenna height %.4f m)",
            result.stationX * Rtcm3::kStationCountMetres, result.stationY * Rtcm3::kStationCountMetres,
            result.stationZ * Rtcm3::kStationCountMetres, result.antennaHeight * Rtcm3::kStationCountMetres);
    else
        std::printf("%s", notFound(Rtcm3::kFoundPosition));
    std::printf("\nantenna descriptor:   ");
    if (found & Rtcm3::kFoundAntenna)
        std::printf("found (\"%s\")", decoder.antennaDescriptor);
    else
        std::printf("%s", notFound(Rtcm3::kFoundAntenna));
    std::printf("\ndate (1013):          ");
    if (found & Rtcm3::kFoundDate)
        std::printf("found (MJD %d, seconds of day %d, leap seconds %d)", result.mjd, result.secondsOfDay,
                    decoder.leapSeconds);
    else if (result.datedByOpening)
        std::printf("not found (dated by the opening day, MJD %d)", result.mjd);
    else
        std::printf("MISSING");
    std::printf("\n");

    if (((found | waived) & Rtcm3::kFoundAll) == Rtcm3::kFoundAll)
    {
        Rtcm3::EpochTime time{};
        Rtcm3::firstEpochTime(result.mjd, result.secondsOfDay, result.firstSecondsOfWeek, time);
        std::printf("first epoch:          %04d-%02d-%02d %02d:%02d:%06.3f (GPS week %d, %.0f s)\n",
                    time.year, time.month, time.day, time.hour, time.minute, time.seconds, time.gpsWeek,
                    time.secondsOfWeek);
        std::printf("RINEX version:        %s (%s)\n", Rtcm3::rinexVersion(result),
                    (result.observationKinds & Rtcm3::kMsmObservations)
                        ? "MSM observations"
                        : "legacy GPS/GLONASS observations only");
        std::printf("epochs:               %d of %s\n", result.epochs,
                    Rtcm3::systemNames(result.systems).c_str());
        // As this machine names them, so that the command line runs as shown.
        const std::string rinex =
            Platform::nativePath(Rtcm3::rinexFileName(Rtcm3::logFileDirectory(path), time));
        std::printf("RINEX name:           %s\n", rinex.c_str());
        if (converts)
            std::printf("command line:         %s\n",
                        Rtcm3::makeRinexCommandLine(Platform::nativePath(path), rinex).c_str());
    }
    std::printf("result:               %s\n", converts ? "the file converts" : "the file does not convert");
}

void printWholeFile(std::FILE* file, bool epochs, const Rtcm3::ScanResult& scan, unsigned int station)
{
    Rtcm3::Rtcm3Decoder decoder{};
    decoder.gpsWeek = 1000;
    decoder.stationFilter = station;
    if ((scan.foundBits | scan.waivedBits) & Rtcm3::kFoundDate)
    {
        Rtcm3::dateReference(scan.mjd, scan.secondsOfDay, decoder.gpsWeek, decoder.lastSecondsOfWeek);
        decoder.leapSeconds = scan.leapSeconds;
    }
    std::map<int, int> counts;
    const auto take = [&](const Rtcm3::DecodeResult& decoded)
    {
        if (decoded.message != 0)
            ++counts[decoded.message];
        const bool modulo = decoded.status == Rtcm3::DecodeStatus::EpochReleasedModulo;
        if (epochs && (decoded.status == Rtcm3::DecodeStatus::EpochReleased || modulo))
            printEpoch(decoder.completed, modulo);
        if (epochs && decoded.message != 0 && decoder.msm.message == decoded.message)
            printMsm(decoder.msm);
    };
    int c = 0;
    while ((c = std::getc(file)) != EOF)
        Rtcm3::feedByte(decoder, static_cast<unsigned char>(c), take);
    std::printf("messages of reference station %u in the whole file:", station);
    if (counts.empty())
        std::printf(" none");
    for (const auto& [message, count] : counts)
        std::printf(" %d x %d", message, count);
    std::printf("\n");
}

const char* observationKind(const Rtcm3::ScanResult& scan)
{
    if (scan.observationKinds & Rtcm3::kMsmObservations)
        return "msm";
    return (scan.foundBits & Rtcm3::kFoundObservations) ? "legacy" : "none";
}

} // namespace Rtcm3Scan
