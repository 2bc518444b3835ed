// Tests of the timers and the timer thread: the countdown pass rule, StopTimer, two timers
// for one number, data delivery, and the same rules measured on the real timer thread.
#include "support/TestMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <list>
#include <thread>

using testing::ElementsAre;

namespace
{
constexpr int32_t kTimed = 61300;
constexpr int32_t kOther = 61301;
constexpr int32_t kArm = 61310;
constexpr int32_t kMarker = 61399;

std::unique_ptr<CZeltSignal> Sig(int32_t number)
{
    return std::make_unique<CZeltSignal>(number);
}

// The number of countdown passes after arming in which a timer of this delay expires, driving the
// timer list's countdown pass by hand on a machine whose threads never started.
int ExpiryPass(int32_t delayMs)
{
    CTestMachine machine;
    machine.StartTimer(kTimed, delayMs);
    for (int pass = 1; pass <= 1000; ++pass)
    {
        machine.TimerList().Tick();
        if (machine.Input().InternalSize() > 0)
        {
            return pass;
        }
    }
    return -1;
}
} // namespace

TEST(TimerCountdown, ATimerOfDelayDExpiresInPassDDiv100Plus1)
{
    EXPECT_EQ(ExpiryPass(0), 1);
    EXPECT_EQ(ExpiryPass(1), 1);
    EXPECT_EQ(ExpiryPass(99), 1);
    EXPECT_EQ(ExpiryPass(100), 2);
    EXPECT_EQ(ExpiryPass(999), 10);
    EXPECT_EQ(ExpiryPass(1000), 11);
    EXPECT_EQ(ExpiryPass(60000), 601);
}

TEST(TimerCountdown, EachExpiryBecomesAnInternalSignalAndAddsOneWakeUpAtTheFrontOfTheExternalQueue)
{
    CTestMachine machine;
    machine.ExternalInput(Sig(kMarker), true);
    machine.StartTimer(kTimed, 0);
    machine.StartTimer(kOther, 50);
    machine.StartTimer(kTimed + 2, 500);
    machine.TimerList().Tick();
    EXPECT_THAT(machine.Input().InternalNumbers(), ElementsAre(kTimed, kOther)) << "in the order armed";
    EXPECT_THAT(machine.Input().ExternalNumbers(), ElementsAre(-1, -1, kMarker));
    EXPECT_EQ(machine.TimerList().Pending(), 1u);
}

TEST(TimerCountdown, TheSignalCarriesACopyOfTheTimersDataAndIsTimed)
{
    CTestMachine machine;
    machine.StartTimer(kTimed, 0, FsmCopyBytes("abc", 3), 3);
    machine.TimerList().Tick();
    auto signal = machine.Input().TakeInternal();
    ASSERT_TRUE(signal);
    EXPECT_EQ(signal->GetNumber(), kTimed);
    EXPECT_TRUE(signal->IsTimed());
    ASSERT_EQ(signal->GetLength(), 3);
    EXPECT_EQ(std::string(signal->GetData(), 3), "abc");
}

TEST(StopTimer, CancelsEveryPendingTimerForTheNumberAndNoOther)
{
    CTestMachine machine;
    machine.StartTimer(kTimed, 1000, FsmCopyBytes("xy", 2), 2);
    machine.StartTimer(kOther, 1000);
    machine.StartTimer(kTimed, 2000);
    machine.StopTimer(kTimed);
    EXPECT_EQ(machine.TimerList().Pending(), 1u);
    for (int pass = 0; pass < 25; ++pass)
    {
        machine.TimerList().Tick();
    }
    EXPECT_THAT(machine.Input().InternalNumbers(), ElementsAre(kOther));
}

TEST(StopTimer, RemovesTheSignalOfAnExpiredTimerWaitingInTheInternalQueue)
{
    CTestMachine machine;
    machine.InternalInput(Sig(kMarker));
    machine.StartTimer(kTimed, 0);
    machine.TimerList().Tick();
    ASSERT_THAT(machine.Input().InternalNumbers(), ElementsAre(kMarker, kTimed));
    machine.StopTimer(kTimed);
    EXPECT_THAT(machine.Input().InternalNumbers(), ElementsAre(kMarker));
}

// The same rules on the real engine and timer thread.

TEST(TimerThread, ADelayOf0ExpiresInTheFirstPassAnd1000MsInThe11th)
{
    CTestMachine machine;
    std::atomic<uint64_t> armedAfter{0};
    std::atomic<uint64_t> zeroSeenAt{0};
    std::atomic<uint64_t> secondSeenAt{0};
    // Arming reads the pass count first, so a pass that runs between the read and the arming can only make
    // the measured distance larger, never smaller: the lower bounds are exact.
    machine.OnSignal(kArm,
                     [&](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     {
                         armedAfter = m.TimerList().Passes();
                         m.StartTimer(kTimed, 0);
                         m.StartTimer(kOther, 1000);
                     });
    machine.OnSignal(kTimed, [&](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     { zeroSeenAt = m.TimerList().Passes(); });
    machine.OnSignal(kOther, [&](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     { secondSeenAt = m.TimerList().Passes(); });
    machine.Start();
    machine.ExternalInput(Sig(kArm), true);
    ASSERT_TRUE(machine.WaitForSignal(kOther));
    const uint64_t zero = zeroSeenAt - armedAfter;
    const uint64_t second = secondSeenAt - armedAfter;
    EXPECT_GE(zero, 1u);
    EXPECT_LE(zero, 3u);
    EXPECT_GE(second, 11u) << "a 1000 ms timer never expires in the 10th pass";
    EXPECT_LE(second, 13u);
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61310@1", "JobRecord 61300@1", "JobRecord 61301@1"));
}

TEST(TimerThread, A1000MsTimerTakesAboutTenTicksOfWallClock)
{
    CTestMachine machine;
    std::chrono::steady_clock::time_point armed;
    std::chrono::steady_clock::time_point seen;
    machine.OnSignal(kArm,
                     [&](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     {
                         armed = std::chrono::steady_clock::now();
                         m.StartTimer(kTimed, 1000);
                     });
    machine.OnSignal(kTimed, [&](CTestMachine&, std::unique_ptr<CZeltSignal>&)
                     { seen = std::chrono::steady_clock::now(); });
    machine.Start();
    machine.ExternalInput(Sig(kArm), true);
    ASSERT_TRUE(machine.WaitForSignal(kTimed));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(seen - armed).count();
    // At least ten full ticks must pass; the upper bound only guards against a timer that never counts.
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 10000);
}

TEST(TimerThread, TimersDueAtMomentsKeepToThemHoweverLateThePassesRun)
{
    CTestMachine machine;
    const auto origin = FsmClock::now();
    std::vector<long long> lateMs;
    machine.OnSignal(
        kTimed,
        [&](CTestMachine&, std::unique_ptr<CZeltSignal>&)
        {
            const auto due = origin + std::chrono::milliseconds(250 * (lateMs.size() + 1));
            lateMs.push_back(
                std::chrono::duration_cast<std::chrono::milliseconds>(FsmClock::now() - due).count());
        });
    for (int n = 1; n <= 8; ++n)
        machine.StartTimerAt(kTimed, origin + std::chrono::milliseconds(250 * n));
    machine.Start();
    ASSERT_TRUE(machine.WaitForRecords(8));
    machine.Stop();
    for (long long late : lateMs)
        EXPECT_TRUE(late >= 0 && late < 100) << late << " ms after its moment";
}

TEST(TimerThread, TwoTimersForOneNumberBothExpire)
{
    CTestMachine machine;
    machine.OnSignal(kArm,
                     [](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     {
                         m.StartTimer(kTimed, 0);
                         m.StartTimer(kTimed, 200);
                     });
    machine.Start();
    machine.ExternalInput(Sig(kArm), true);
    ASSERT_TRUE(machine.WaitForRecords(3));
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61310@1", "JobRecord 61300@1", "JobRecord 61300@1"));
    EXPECT_EQ(machine.TimerList().Pending(), 0u);
}

TEST(TimerThread, StopTimerRemovesAnExpiredTimersSignalBeforeItIsDispatched)
{
    CTestMachine machine;
    std::atomic<bool> waited{false};
    machine.OnSignal(kArm,
                     [&](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     {
                         m.StartTimer(kTimed, 0);
                         // Still inside this job, wait (bounded) until the timer thread has put the expired
                         // signal into the internal queue, then stop the timer: the signal must never be
                         // dispatched.
                         auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                         while (m.Input().InternalSize() == 0 && std::chrono::steady_clock::now() < deadline)
                         {
                             std::this_thread::sleep_for(std::chrono::milliseconds(5));
                         }
                         waited = m.Input().InternalSize() == 1;
                         m.StopTimer(kTimed);
                     });
    machine.Start();
    machine.ExternalInput(Sig(kArm), true);
    machine.ExternalInput(Sig(kMarker), true);
    ASSERT_TRUE(machine.WaitForSignal(kMarker));
    EXPECT_TRUE(waited);
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61310@1", "JobRecord 61399@1"));
}

TEST(TimerThread, StopTimerRemovesASignalThatAJobPutIntoTheInternalQueue)
{
    CTestMachine machine;
    machine.OnSignal(kArm,
                     [](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     {
                         m.InternalInput(Sig(kOther));
                         m.InternalInput(CZeltSignal::CopyOf(kTimed, "data", 4));
                         m.InternalInput(Sig(kOther));
                         m.StopTimer(kTimed);
                     });
    machine.Start();
    machine.ExternalInput(Sig(kArm), true);
    machine.ExternalInput(Sig(kMarker), true);
    ASSERT_TRUE(machine.WaitForSignal(kMarker));
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61310@1", "JobRecord 61301@1", "JobRecord 61301@1",
                                            "JobRecord 61399@1"));
}

TEST(TimerThread, ATimerForANumberWithoutATransitionRunsTheDefaultJob)
{
    CTestMachine machine;
    machine.OnSignal(kArm, [](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     { m.StartTimer(TestSig::NEW_FILE_TIMEOUT, 100); });
    machine.Start();
    machine.ExternalInput(Sig(kArm), true);
    ASSERT_TRUE(machine.WaitForSignal(TestSig::NEW_FILE_TIMEOUT));
    auto records = machine.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].job, "JobRecord");
    EXPECT_TRUE(records[1].timed);
}

TEST(TimerThread, PendingTimersAndTheirDataAreDeletedWithTheMachine)
{
    auto machine = std::make_unique<CTestMachine>();
    machine->OnSignal(kArm, [](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                      { m.StartTimer(kTimed, 3600000, FsmCopyBytes("hello", 5), 5); });
    machine->Start();
    machine->ExternalInput(Sig(kArm), true);
    ASSERT_TRUE(machine->WaitForRecords(1));
    EXPECT_EQ(machine->TimerList().Pending(), 1u);
    machine.reset(); // the leak checker of the sanitizer build sees any timer or buffer left behind
}
