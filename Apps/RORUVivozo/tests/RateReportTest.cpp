// The rate report job run directly on a control that never started, in a child process: each case
// leaves through its own exit status instead of taking that control down.
#include "RORUVivozo/VelmorControl.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

constexpr int kWarned = 10;
constexpr int kSilent = 20;

// Keeps every trace line instead of writing it.
class CapturingTrace : public LogTrace
{
public:
    CapturingTrace() = default;
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

// Dispatches an INPUT_FREQ_REPORT carrying length bytes (a real report, cut or padded) and leaves
// with kWarned when the warning line was written, kSilent otherwise.
[[noreturn]] void reportWithLength(std::size_t length)
{
    CapturingTrace trace;
    auto control = std::make_unique<CVelmorControl>("RATE", VELMOR_WAIT_LOGGING, &trace, TRACE_DATA);
    const InputFreqReport report{0.7, 0.3, 50};
    std::string bytes(reinterpret_cast<const char*>(&report), sizeof report);
    bytes.resize(length, 'x');
    auto signal = CZeltSignal::CopyOf(ZeltSig::INPUT_FREQ_REPORT, bytes.data(), static_cast<int32_t>(length));
    control->JobInputFreqReport(signal);
    for (const std::string& line : trace.lines)
        if (line.find("less than 50% of expected.\nExpected/received (Hz): 0.70/0.30',122);") !=
            std::string::npos)
            std::_Exit(kWarned);
    std::_Exit(kSilent);
}

} // namespace

TEST(RateReportDeathTest, OnlyASignalOfExactlyAReportsSizeIsReadAsOne)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    VivozoTest::TestSuite suite;
    ASSERT_TRUE(suite.ok()) << suite.error();
    EXPECT_EXIT(reportWithLength(sizeof(InputFreqReport)), testing::ExitedWithCode(kWarned), "");
    // A sentence posing as a report, or a short or long buffer, is never read as one.
    EXPECT_EXIT(reportWithLength(sizeof(InputFreqReport) - 1), testing::ExitedWithCode(kSilent), "");
    EXPECT_EXIT(reportWithLength(sizeof(InputFreqReport) + 8), testing::ExitedWithCode(kSilent), "");
    EXPECT_EXIT(reportWithLength(0), testing::ExitedWithCode(kSilent), "");
}
