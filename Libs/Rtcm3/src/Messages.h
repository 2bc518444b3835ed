// Message handlers behind the dispatch of nextMessage.
#pragma once

#include "BitReader.h"
#include "Rtcm3/Rtcm3Decoder.h"

namespace Rtcm3
{

// The reader stands just after the reference station ID.
DecodeStatus decodeGpsObservations(Rtcm3Decoder& decoder, int message, BitReader& reader);
DecodeStatus decodeGlonassObservations(Rtcm3Decoder& decoder, int message, BitReader& reader);
// MSM4 to MSM7 of every system: decoder.msm is filled when the message could be read.
void decodeMsm(Rtcm3Decoder& decoder, int message, BitReader& reader);

} // namespace Rtcm3
