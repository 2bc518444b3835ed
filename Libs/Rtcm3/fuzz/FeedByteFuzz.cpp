// libFuzzer target: no byte sequence may crash the decoder or make it read or write outside its record.
#include "Rtcm3/Rtcm3Decoder.h"

#include <cstddef>
#include <cstdint>
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
        decoder->lastMessage = 0;
        Rtcm3::feedByte(*decoder, data[i]);
        if (decoder->byteCount < 0 || decoder->byteCount > 1029 || decoder->completed.satelliteCount > 24 ||
            decoder->collecting.satelliteCount > 24 || decoder->msm.cellCount < 0 ||
            decoder->msm.cellCount > Rtcm3::kMsmMaxCells)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Station 0 as the driver decodes, and the station of the second capture.
    feedAll(data, size, 0);
    feedAll(data, size, 278);
    return 0;
}
