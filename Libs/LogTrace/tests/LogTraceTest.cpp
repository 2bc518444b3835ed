// Tests of the trace object: the logger "LogTrace", the console switch, cutting and threads.
#include "LogTrace/LogTrace.h"
#include "support/TraceCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace
{
log4cplus::Initializer log4cplusInitializer;
}

TEST(LogTraceAppend, SendsTheFormattedLineToTheLogTraceLoggerAtDebugLevel)
{
    TraceCapture capture;
    LogTrace trace;
    trace.SetConsole(false);
    testing::internal::CaptureStderr();
    trace.Append("\n*ExternalQ Input: %s. Queue size: %u\n", "RAW DATA", 11u);
    std::string err = testing::internal::GetCapturedStderr();

    auto events = capture.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].message, "\n*ExternalQ Input: RAW DATA. Queue size: 11\n");
    EXPECT_EQ(events[0].level, log4cplus::DEBUG_LOG_LEVEL);
    EXPECT_EQ(events[0].function, "LogTrace::Append");
    EXPECT_EQ(err, "") << "console switch off: nothing on stderr";
}

TEST(LogTraceAppend, WithTheConsoleOnWritesEachLineAndExactlyOneLineEndToStderr)
{
    TraceCapture capture;
    LogTrace trace;
    trace.SetConsole(true);
    testing::internal::CaptureStderr();
    trace.Append("\n\n*F: %-12.12s ", "RORUVivozo-long-name");
    trace.Append("%s", "second");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "\n\n*F: RORUVivozo-l \nsecond\n");
    EXPECT_EQ(capture.Lines().size(), 2u);
}

TEST(LogTraceAppend, CutsALineLongerThanItsBufferInsteadOfWritingPastIt)
{
    TraceCapture capture;
    LogTrace trace;
    std::string longText(40000, 'x');
    trace.Append("%s", longText.c_str());
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(LogTrace::kBufferSize - 1, 'x'));
}

TEST(LogTraceAppend, OutsideTextWithPercentSignsIsWrittenLiterallyThroughPercentS)
{
    TraceCapture capture;
    LogTrace trace;
    trace.Append("%s", "100% %s %n");
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], "100% %s %n");
}

TEST(LogTraceAppend, LinesFromSeveralThreadsNeverInterleave)
{
    TraceCapture capture;
    LogTrace trace;
    trace.SetConsole(true);
    testing::internal::CaptureStderr();
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&trace, t]
            {
                std::string body(100, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i)
                {
                    trace.Append("%s", body.c_str());
                }
            });
    }
    for (auto& th : threads)
    {
        th.join();
    }
    std::string err = testing::internal::GetCapturedStderr();
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const auto& line : lines)
    {
        ASSERT_EQ(line.size(), 100u);
        EXPECT_EQ(line, std::string(100, line[0]));
    }
    // On the console every line is whole and followed by its own line end.
    std::size_t pos = 0;
    int count = 0;
    while (pos < err.size())
    {
        std::size_t nl = err.find('\n', pos);
        ASSERT_NE(nl, std::string::npos);
        std::string line = err.substr(pos, nl - pos);
        ASSERT_EQ(line, std::string(100, line.empty() ? '?' : line[0]));
        pos = nl + 1;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}
