// libFuzzer target: no byte sequence may crash the decoder or make it read or write outside its record,
// nor crash the scan of a whole log file.
#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/Rtcm3Decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace
{

void feedAll(const std::uint8_t* data, std::size_t size, unsigned int station)
{
    // On the heap, so that AddressSanitizer sees any access past the record's end.
    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    decoder->gpsWeek = 1000;
    decoder->stationFilter = station;
    for (std::size_t i = 0; i < size; ++i)
    {
        Rtcm3::feedByte(*decoder, data[i]);
        if (decoder->byteCount < 0 || decoder->byteCount > 1029 || decoder->completed.satelliteCount > 24 ||
            decoder->collecting.satelliteCount > 24 || decoder->msm.cellCount < 0 ||
            decoder->msm.cellCount > Rtcm3::kMsmMaxCells)
            __builtin_trap();
    }
}

// The driver's scan over the bytes as a whole file: refused or converting, it must answer.
void scanAll(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr)
        return;
    auto decoder = std::make_unique<Rtcm3::Rtcm3Decoder>();
    Rtcm3::ScanResult result{};
    // The scan's lines for the operator are no finding; libFuzzer's own report stays on standard error.
    static std::FILE* const quiet = std::fopen("/dev/null", "w");
    std::FILE* const report = stderr;
    stderr = quiet != nullptr ? quiet : report;
    const bool converts = Rtcm3::scanLogFile(file, *decoder, result, {0, 1700000000});
    stderr = report;
    std::fclose(file);
    if (converts && !(result.foundBits & Rtcm3::kFoundObservations))
        __builtin_trap();
    Rtcm3::EpochTime time{};
    if (converts)
        Rtcm3::firstEpochTime(result.mjd, result.secondsOfDay, result.firstSecondsOfWeek, time);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Station 0 as the driver decodes, and the station of the second capture.
    feedAll(data, size, 0);
    feedAll(data, size, 278);
    scanAll(data, size);
    return 0;
}
