// The four logging parameters of a start: from the start sentence, with absent fields taken from the
// token store, or from the token store alone.
#include "RORUVivozo/VelmorStartParameters.h"

#include "RORUVivozo/VelmorServices.h"

#include "Platform/DecimalText.h"
#include "SuiteProtocol/DataPort.h"

#include <optional>
#include <vector>

namespace
{

// Takes the next field: separators before it are skipped, the field ends at the next separator.
std::optional<std::string_view> nextField(std::string_view& rest, std::string_view separators)
{
    const std::size_t start = rest.find_first_not_of(separators);
    if (start == std::string_view::npos)
    {
        rest = {};
        return std::nullopt;
    }
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find_first_of(separators), rest.size());
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end);
    return field;
}

} // namespace

StartParameters parseStartSentence(std::string_view sentence, CVelmorTokens& tokens)
{
    // The sentence stops at its first zero byte.
    sentence = sentence.substr(0, sentence.find('\0'));
    // The line end stops the directory and the file name too: a sentence without interval and port
    // must not put its line end into the file name.
    constexpr std::string_view kSeparators = ",\n\r";
    std::string_view rest = sentence;
    nextField(rest, ","); // "$PZELT"
    nextField(rest, ","); // "160"
    const auto directory = nextField(rest, kSeparators);
    const auto fileName = nextField(rest, kSeparators);
    const auto interval = nextField(rest, kSeparators);
    const auto port = nextField(rest, kSeparators);

    StartParameters parameters;
    parameters.directory = directory ? std::string(*directory) : tokens.text(kTokenLogDirectory);
    parameters.fileName = fileName ? std::string(*fileName) : tokens.text(kTokenLogFileName);
    parameters.interval = interval ? Platform::clampedInt32(*interval) : tokens.integer(kTokenInterval);
    parameters.port = port ? Platform::clampedInt32(*port) : tokens.integer(SuiteProtocol::kDataPortToken);
    return parameters;
}

StartParameters startParametersFromTokens(CVelmorTokens& tokens)
{
    StartParameters parameters;
    parameters.directory = tokens.text(kTokenLogDirectory);
    parameters.fileName = tokens.text(kTokenLogFileName);
    parameters.interval = tokens.integer(kTokenInterval);
    parameters.port = tokens.integer(SuiteProtocol::kDataPortToken);
    return parameters;
}
