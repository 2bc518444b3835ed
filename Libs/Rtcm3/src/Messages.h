// Message handlers behind the dispatch of nextMessage.
#pragma once

#include "BitReader.h"
#include "Rtcm3/Rtcm3Decoder.h"

namespace Rtcm3
{

// The reader stands just after the reference station ID.
int decodeGpsObservations(Rtcm3Decoder& decoder, int message, BitReader& reader);
int decodeGlonassObservations(Rtcm3Decoder& decoder, int message, BitReader& reader);
// MSM4 to MSM7 of every system: returns the message number, with decoder.msm filled when it could be read.
int decodeMsm(Rtcm3Decoder& decoder, int message, BitReader& reader);

} // namespace Rtcm3
