// The rate report job run in-process on a control that never started, over services of its own.
#include "RORUVivozo/VelmorControl.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

// Keeps every trace line instead of writing it.
class CapturingTrace : public LogTrace
{
public:
    void Append(const char* format, ...) override
    {
        va_list args;
        va_start(args, format);
        char line[4096];
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        lines.emplace_back(line);
    }
    std::vector<std::string> lines;
};

class RecordingPoster : public CVelmorMessagePoster
{
public:
    void post(int number, const std::vector<MessageArgument>& arguments, TextFormed) override
    {
        posted.push_back(number);
        this->arguments = arguments;
    }
    void setReport(ServiceReport) override {}
    void drain(std::chrono::milliseconds) override {}
    std::vector<int> posted;
    std::vector<MessageArgument> arguments;
};

class NoTokens : public CVelmorTokens
{
public:
    std::int32_t integer(const std::string&) override { return 0; }
    std::string text(const std::string&) override { return {}; }
    void setReport(ServiceReport) override {}
};

class NoParameters : public CVelmorParameterSource
{
public:
    std::optional<ParameterRow> read() override { return std::nullopt; }
};

} // namespace

TEST(RateReport, OnlyASignalOfExactlyAReportsSizeIsReadAsOne)
{
    // A sentence posing as a report, or a short or long buffer, is never read as one.
    for (const std::size_t length :
         {sizeof(InputFreqReport), sizeof(InputFreqReport) - 1, sizeof(InputFreqReport) + 8, std::size_t{0}})
    {
        CapturingTrace trace;
        RecordingPoster poster;
        NoTokens tokens;
        {
            CVelmorControl control("RATE", VELMOR_WAIT_LOGGING, &trace, TRACE_DATA,
                                   {poster, tokens, std::make_shared<NoParameters>()});
            const InputFreqReport report{0.7, 0.3, 50};
            std::string bytes(reinterpret_cast<const char*>(&report), sizeof report);
            bytes.resize(length, 'x');
            auto signal =
                CZeltSignal::CopyOf(ZeltSig::INPUT_FREQ_REPORT, bytes.data(), static_cast<int32_t>(length));
            control.JobInputFreqReport(signal);
        }
        const bool whole = length == sizeof(InputFreqReport);
        int warnings = 0;
        for (const std::string& line : trace.lines)
            warnings += line.find("less than 50% of expected.\nExpected/received (Hz): 0.70/0.30',122);") !=
                        std::string::npos;
        EXPECT_EQ(warnings, whole ? 1 : 0) << length;
        EXPECT_EQ(poster.posted, whole ? std::vector<int>{MSG_LOW_RATE} : std::vector<int>{}) << length;
        if (whole)
        {
            EXPECT_EQ(poster.arguments, (std::vector<MessageArgument>{50LL, 0.7, 0.3}));
        }
    }
}
