// Tests of every trace line of the framework, byte for byte, for each bit of the debug mask
// of the machine: dispatch header, signal and state parts, job, data and timer lines.
#include "support/TestMachine.h"
#include "support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace
{
log4cplus::Initializer log4cplusInitializer;

// Dispatches a transition (PZELT_6: IDLE -> RUNNING) and a signal without one (RAW DATA in RUNNING)
// on a machine with the given mask, and returns every trace line written.
std::vector<std::string> DispatchLines(unsigned char mask, const char* name = "TestMachineLong")
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine machine(&trace, mask, name);
    machine.DispatchOwned(std::make_unique<CZeltSignal>(TestSig::PZELT_6));
    machine.DispatchOwned(std::make_unique<CZeltSignal>(TestSig::RAW_DATA));
    return capture.Lines();
}

const char* const kHeader = "\n\n*F: TestMachineL ";
const char* const kJobGo = "*F: TestMachineL                      Job: JobGo";
const char* const kJobRecord = "*F: TestMachineL                      Job: JobRecord";
} // namespace

TEST(DispatchLine, Mask0WritesNoLineOfAnyKind)
{
    EXPECT_TRUE(DispatchLines(0).empty());
}

TEST(DispatchLine, Bit1AddsTheStatesWithStForATransitionAndAStForTheDefault)
{
    EXPECT_THAT(DispatchLines(1),
                ElementsAre(std::string(kHeader) + "St:  IDLE            --> RUNNING        ",
                            std::string(kHeader) + "ASt: RUNNING         --> RUNNING        "));
}

TEST(DispatchLine, Bit2AddsTheSignalNamePaddedTo17)
{
    EXPECT_THAT(DispatchLines(2), ElementsAre(std::string(kHeader) + "S: PZELT_6           ",
                                              std::string(kHeader) + "S: RAW DATA          "));
}

TEST(DispatchLine, Bit4WritesTheHeaderAndTheJobLinesOnly)
{
    EXPECT_THAT(DispatchLines(4), ElementsAre(kHeader, kJobGo, kHeader, kJobRecord));
}

TEST(DispatchLine, Bits8And16AloneWriteOnlyTheHeader)
{
    EXPECT_THAT(DispatchLines(8), ElementsAre(kHeader, kHeader));
    EXPECT_THAT(DispatchLines(16), ElementsAre(kHeader, kHeader));
}

TEST(DispatchLine, AllBitsTogether)
{
    EXPECT_THAT(
        DispatchLines(31),
        ElementsAre(std::string(kHeader) + "S: PZELT_6           St:  IDLE            --> RUNNING        ",
                    kJobGo,
                    std::string(kHeader) + "S: RAW DATA          ASt: RUNNING         --> RUNNING        ",
                    kJobRecord));
}

TEST(DispatchLine, AShortMachineNameIsPaddedTo12)
{
    EXPECT_THAT(DispatchLines(4, "Vivozo"),
                ElementsAre("\n\n*F: Vivozo       ", "*F: Vivozo                            Job: JobGo",
                            "\n\n*F: Vivozo       ", "*F: Vivozo                            Job: JobRecord"));
}

TEST(DispatchLine, ANameOutsideTheTableIsShownByItsDecimalNumber)
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine machine(&trace, 2, "M");
    machine.DispatchOwned(std::make_unique<CZeltSignal>(50998));
    EXPECT_THAT(capture.Lines(), ElementsAre("\n\n*F: M            S: 50998             "));
}

TEST(DispatchLine, ReachesTheConsoleWithExactlyOneLineEnd)
{
    TraceCapture capture;
    LogTrace trace;
    trace.SetConsole(true);
    CTestMachine machine(&trace, 1, "M");
    testing::internal::CaptureStderr();
    machine.DispatchOwned(std::make_unique<CZeltSignal>(TestSig::PZELT_6));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\n\n*F: M            St:  IDLE            --> RUNNING        \n");
}

TEST(TraceJob, FormatsTheJobNameWithItsArgumentsUnderBit4)
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine withJobs(&trace, 4, "RORUVivozo");
    withJobs.TraceJob("JobReadDB");
    withJobs.TraceJob("Job%s %d", "Log", 7);
    CTestMachine without(&trace, 8 | 1 | 2 | 16, "RORUVivozo");
    without.TraceJob("JobReadDB");
    EXPECT_THAT(capture.Lines(), ElementsAre("*F: RORUVivozo                        Job: JobReadDB",
                                             "*F: RORUVivozo                        Job: JobLog 7"));
}

TEST(TraceData, WritesTheReportUnderBit8Only)
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine withData(&trace, 8, "RORUVivozo");
    withData.TraceData("\n\tInfo: Log file %s opened", "/tmp/a%s.rtcm");
    CTestMachine without(&trace, 4 | 1 | 2 | 16, "RORUVivozo");
    without.TraceData("\n\tERROR: not written");
    EXPECT_THAT(
        capture.Lines(),
        ElementsAre("*F: RORUVivozo                        Data: \n\tInfo: Log file /tmp/a%s.rtcm opened"));
}

TEST(TraceData, AReportLongerThan2000CharactersWithItsPrefixIsCut)
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine machine(&trace, 8, "RORUVivozo");
    std::string report(3000, 'r');
    machine.TraceData("%s", report.c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    const std::string prefix = "*F: RORUVivozo                        Data: ";
    EXPECT_EQ(capture.Lines()[0], prefix + std::string(1999 - prefix.size(), 'r'));
}

TEST(TraceData, WithTheConsoleOffNothingReachesStderr)
{
    TraceCapture capture;
    LogTrace trace;
    trace.SetConsole(false);
    CTestMachine machine(&trace, 8, "RORUVivozo");
    testing::internal::CaptureStderr();
    machine.TraceData("\n\tWARNING: %s", "x");
    machine.DispatchOwned(std::make_unique<CZeltSignal>(TestSig::PZELT_6));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(capture.Lines().size(), 2u);
}

TEST(TraceTimer, WritesTPlusWhenArmingAndTMinusWithDelay0WhenStoppingUnderBit16)
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine machine(&trace, 16, "RORUVivozo");
    machine.StartTimer(TestSig::NEW_FILE_TIMEOUT, 3600000);
    machine.StartTimer(TestSig::PZELT_6, 0);
    machine.StopTimer(TestSig::NEW_FILE_TIMEOUT);
    CTestMachine without(&trace, 1 | 2 | 4 | 8, "RORUVivozo");
    without.StartTimer(TestSig::RAW_DATA, 1000);
    without.StopTimer(TestSig::RAW_DATA);
    EXPECT_THAT(capture.Lines(),
                ElementsAre("*F: RORUVivozo                        T+:  NEW_FILE_TIMEOUT   Delay: 3600000",
                            "*F: RORUVivozo                        T+:  PZELT_6            Delay: 0",
                            "*F: RORUVivozo                        T-:  NEW_FILE_TIMEOUT   Delay: 0"));
}

TEST(TraceFlags, AreZeroForMaskZeroAndOtherwiseTheMaskWithBit128)
{
    EXPECT_EQ(TraceFlagsFor(0), 0);
    EXPECT_EQ(TraceFlagsFor(4), 0x84);
    EXPECT_EQ(TraceFlagsFor(31), 0x9f);
    EXPECT_EQ(TraceFlagsFor(0x2c), 0xac);
    EXPECT_EQ(TraceFlagsFor(0xff), 0xff);
}
