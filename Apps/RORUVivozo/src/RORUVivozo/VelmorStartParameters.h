// The four logging parameters of a start: from the start sentence, with absent fields taken from the
// token store, or from the token store alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Token names of the start parameters.
class CVelmorTokens;

inline constexpr char kTokenLogDirectory[] = "RTCM_CORR_DIR";
inline constexpr char kTokenLogFileName[] = "RTCM_FILE";
inline constexpr char kTokenInterval[] = "RUNT_PARAM_RTCM_INTERVAL_TIME";

struct StartParameters
{
    std::string directory;
    std::string fileName;
    std::int32_t interval = 0; // minutes
    std::int32_t port = 0;
};

// Fields after "$PZELT,160": directory, file name, interval, port. Runs of separators count as one;
// the line end stops every field. A field the sentence does not reach comes from the token store.
StartParameters parseStartSentence(std::string_view sentence, CVelmorTokens& tokens);

// All four from the token store, without defaults.
StartParameters startParametersFromTokens(CVelmorTokens& tokens);
