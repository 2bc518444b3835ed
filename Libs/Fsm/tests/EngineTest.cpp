// Tests of the engine with real threads: queues, save list, wake-ups, the queue report and the
// application pattern that the process entry and the control use.
#include "support/TestMachine.h"
#include "support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ace/OS_NS_sys_time.h>

#include <atomic>
#include <thread>

using testing::ElementsAre;

namespace
{
log4cplus::Initializer log4cplusInitializer;

std::unique_ptr<CZeltSignal> Sig(int32_t number)
{
    return std::make_unique<CZeltSignal>(number);
}

// Bounded wait on an ACE semaphore.
bool AcquireWithin(ACE_Semaphore& semaphore, int seconds)
{
    ACE_Time_Value deadline = ACE_OS::gettimeofday() + ACE_Time_Value(seconds);
    return semaphore.acquire(deadline) == 0;
}

int CountContaining(const std::vector<std::string>& lines, const std::string& part)
{
    int n = 0;
    for (const auto& line : lines)
    {
        n += line.find(part) != std::string::npos ? 1 : 0;
    }
    return n;
}
} // namespace

TEST(Engine, EveryMachineOfATableStartsInItsFirstStateAndNamesItsStates)
{
    CTestMachine a;
    CTestMachine b;
    EXPECT_STREQ(a.StateName(CTestMachine::IDLE), "IDLE");
    EXPECT_STREQ(b.StateName(CTestMachine::RUNNING), "RUNNING");
    EXPECT_EQ(a.GetState(), CTestMachine::IDLE);
    EXPECT_EQ(b.GetState(), CTestMachine::IDLE);
}

TEST(Engine, TerminateSignalFromAnotherThreadRunsItsJobOnTheEngineThread)
{
    CTestMachine machine;
    std::atomic<bool> onEngineThread{false};
    const auto testThread = std::this_thread::get_id();
    machine.OnSignal(CTestMachine::SIG_TERMINATE, [&](CTestMachine&, std::unique_ptr<CZeltSignal>&)
                     { onEngineThread = std::this_thread::get_id() != testThread; });
    ASSERT_EQ(machine.Start(ACE_DEFAULT_THREAD_PRIORITY), 0);
    std::thread poster(
        [&machine]
        {
            auto signal = CZeltSignal::CopyOf(TestSig::PZELT_24, "$PZELT,24,\n\r", 12);
            machine.ExternalInput(std::move(signal), true);
        });
    poster.join();
    ASSERT_TRUE(AcquireWithin(machine.Terminated(), 20));
    EXPECT_TRUE(onEngineThread);
    auto records = machine.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].data, "$PZELT,24,\n\r");
    EXPECT_TRUE(machine.Stop());
}

TEST(Engine, StartsWithTheProcessEntrysPriorityZero)
{
    CTestMachine machine;
    machine.OnSignal(61101, [](CTestMachine& m, std::unique_ptr<CZeltSignal>&) { m.StartTimer(61102, 0); });
    EXPECT_EQ(machine.Start(0), 0);
    EXPECT_EQ(machine.Start(0), -1) << "a machine starts once";
    machine.ExternalInput(Sig(61101), true);
    ASSERT_TRUE(machine.WaitForSignal(61102)) << "the timer thread runs too";
}

TEST(Engine, InitJobRunsOnTheStartingThreadBeforeTheEngineRuns)
{
    CTestMachine machine;
    std::thread::id initThread;
    machine.OnInit(
        [&](CTestMachine& m)
        {
            initThread = std::this_thread::get_id();
            m.InternalInput(Sig(61200));
        });
    machine.ExternalInput(Sig(61100), true);
    machine.Start();
    ASSERT_TRUE(machine.WaitForRecords(2));
    EXPECT_EQ(initThread, std::this_thread::get_id());
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61200@1", "JobRecord 61100@1"));
}

TEST(Engine, TheInternalQueueIsEmptiedBeforeTheNextExternalSignal)
{
    CTestMachine machine;
    machine.OnSignal(61003,
                     [](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     {
                         m.InternalInput(Sig(61004));
                         m.InternalInput(Sig(61005));
                     });
    machine.OnSignal(61004,
                     [](CTestMachine& m, std::unique_ptr<CZeltSignal>&) { m.InternalInput(Sig(61006)); });
    machine.ExternalInput(Sig(61003), true);
    machine.ExternalInput(Sig(61100), true);
    machine.ExternalInput(Sig(61101), true);
    machine.Start();
    ASSERT_TRUE(machine.WaitForRecords(6));
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61003@1", "JobRecord 61004@1", "JobRecord 61005@1",
                                            "JobRecord 61006@1", "JobRecord 61100@1", "JobRecord 61101@1"));
}

TEST(Engine, InternalSignalsOfARunningJobGoBeforeExternalSignalsQueuedMeanwhile)
{
    CTestMachine machine;
    ACE_Semaphore inJob(0);
    ACE_Semaphore mayGoOn(0);
    machine.OnSignal(61003,
                     [&](CTestMachine& m, std::unique_ptr<CZeltSignal>&)
                     {
                         inJob.release();
                         mayGoOn.acquire(); // the test queues external signals while this job runs
                         m.InternalInput(Sig(61004));
                     });
    machine.Start();
    machine.ExternalInput(Sig(61003), true);
    ASSERT_TRUE(AcquireWithin(inJob, 20));
    machine.ExternalInput(Sig(61100), true);
    machine.ExternalInput(Sig(61101), true);
    mayGoOn.release();
    ASSERT_TRUE(machine.WaitForRecords(4));
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61003@1", "JobRecord 61004@1", "JobRecord 61100@1",
                                            "JobRecord 61101@1"));
}

TEST(Engine, SavedSignalsAreReplayedFirstInSaveOrderAfterAChangeOfState)
{
    CTestMachine machine;
    // The job that changes the state posts an internal signal: the saved ones still come first.
    machine.OnSignal(CTestMachine::SIG_GO,
                     [](CTestMachine& m, std::unique_ptr<CZeltSignal>&) { m.InternalInput(Sig(61004)); });
    machine.ExternalInput(CZeltSignal::CopyOf(CTestMachine::SIG_SAVE_1, "one", 3), true);
    machine.ExternalInput(Sig(61100), true); // no change of state: the saved signal stays saved
    machine.ExternalInput(CZeltSignal::CopyOf(CTestMachine::SIG_SAVE_2, "two", 3), true);
    machine.ExternalInput(Sig(CTestMachine::SIG_GO), true);
    machine.ExternalInput(Sig(61101), true);
    machine.Start();
    ASSERT_TRUE(machine.WaitForRecords(6));
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61100@1", "JobGo 50006@1", "JobRecord 61001@2",
                                            "JobRecord 61002@2", "JobRecord 61004@2", "JobRecord 61101@2"));
    auto records = machine.Records();
    EXPECT_EQ(records[2].data, "one") << "a saved signal keeps its data";
    EXPECT_EQ(records[3].data, "two");
    EXPECT_EQ(machine.Input().SavedSize(), 0u);
}

TEST(Engine, SaveTakesTheSignalOverAndClearsTheCallersPointer)
{
    CTestMachine machine;
    auto signal = Sig(CTestMachine::SIG_SAVE_1);
    EXPECT_FALSE(machine.Dispatch(signal));
    EXPECT_EQ(signal, nullptr);
    EXPECT_EQ(machine.Input().SavedSize(), 1u);
}

TEST(Engine, AWakeUpIsNeverDispatched)
{
    CTestMachine machine;
    machine.Start();
    machine.ExternalInput(Sig(FSM_SIG_WAKEUP), true);
    machine.ExternalInput(Sig(FSM_SIG_WAKEUP), false);
    machine.ExternalInput(Sig(61100), true);
    machine.ExternalInput(Sig(FSM_SIG_WAKEUP), true);
    machine.ExternalInput(Sig(61101), true);
    ASSERT_TRUE(machine.WaitForRecords(2));
    EXPECT_TRUE(machine.Stop());
    EXPECT_THAT(machine.Seen(), ElementsAre("JobRecord 61100@1", "JobRecord 61101@1"));
}

TEST(Engine, ASignalWithoutATransitionRunsTheDefaultJobAndTheDefaultNextState)
{
    CTestMachine machine;
    EXPECT_TRUE(machine.DispatchOwned(Sig(CTestMachine::SIG_GO)));
    EXPECT_FALSE(machine.DispatchOwned(Sig(61100)));
    EXPECT_EQ(machine.GetState(), CTestMachine::RUNNING);
    EXPECT_THAT(machine.Seen(), ElementsAre("JobGo 50006@1", "JobRecord 61100@2"));
}

TEST(Engine, StopEndsBothThreadsAndQueuedSignalsAreDeletedWithTheMachine)
{
    auto machine = std::make_unique<CTestMachine>();
    machine->Start();
    machine->ExternalInput(Sig(61100), true);
    ASSERT_TRUE(machine->WaitForRecords(1));
    ACE_Time_Value before = ACE_OS::gettimeofday();
    EXPECT_TRUE(machine->Stop());
    ACE_Time_Value took = ACE_OS::gettimeofday() - before;
    EXPECT_LT(took.msec(), 5000);
    // After Stop nothing is dispatched any more; what is queued is deleted with the machine (ASan checks).
    machine->ExternalInput(CZeltSignal::CopyOf(61101, "left over", 9), true);
    machine->InternalInput(CZeltSignal::CopyOf(61102, "left over", 9));
    machine->StartTimer(61103, 100000, FsmCopyBytes("data", 4), 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(machine->Records().size(), 1u);
    machine.reset();
}

TEST(Engine, AMachineThatNeverStartedStillQueuesAndIsDestroyedCleanly)
{
    CTestMachine machine;
    machine.ExternalInput(CZeltSignal::CopyOf(61100, "abc", 3), true);
    machine.InternalInput(Sig(61101));
    EXPECT_EQ(machine.Input().ExternalSize(), 1u);
    EXPECT_EQ(machine.Input().InternalSize(), 1u);
    EXPECT_TRUE(machine.Stop());
}

TEST(ExternalQueueReport, ComesAt11QueuedSignalsNotAt10AndNeverForAPriorityPut)
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine machine(&trace, 0); // the report does not depend on the mask bits
    for (int i = 0; i < 10; ++i)
    {
        machine.ExternalInput(Sig(TestSig::RAW_DATA), true);
    }
    EXPECT_EQ(CountContaining(capture.Lines(), "ExternalQ"), 0);
    machine.ExternalInput(Sig(TestSig::RAW_DATA), true);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], "\n*ExternalQ Input: RAW DATA. Queue size: 11\n");
    machine.ExternalInput(Sig(TestSig::PZELT_24), false);
    EXPECT_EQ(capture.Lines().size(), 1u) << "a priority put is never reported";
    machine.ExternalInput(Sig(50998), true);
    ASSERT_EQ(capture.Lines().size(), 2u);
    EXPECT_EQ(capture.Lines()[1], "\n*ExternalQ Input: 50998. Queue size: 13\n");
}

TEST(ExternalQueueReport, NeedsATraceObject)
{
    TraceCapture capture;
    CTestMachine machine(nullptr, 31);
    for (int i = 0; i < 12; ++i)
    {
        machine.ExternalInput(Sig(TestSig::RAW_DATA), true);
    }
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(ExternalQueueReport, ComesFromARunningMachineWhoseEngineIsBusy)
{
    TraceCapture capture;
    LogTrace trace;
    CTestMachine machine(&trace, 0);
    ACE_Semaphore inJob(0);
    ACE_Semaphore mayGoOn(0);
    machine.OnSignal(61003,
                     [&](CTestMachine&, std::unique_ptr<CZeltSignal>&)
                     {
                         inJob.release();
                         mayGoOn.acquire();
                     });
    machine.Start();
    machine.ExternalInput(Sig(61003), true);
    ASSERT_TRUE(AcquireWithin(inJob, 20));
    for (int i = 0; i < 10; ++i)
    {
        machine.ExternalInput(Sig(TestSig::RAW_DATA), true);
    }
    EXPECT_EQ(CountContaining(capture.Lines(), "ExternalQ"), 0);
    machine.ExternalInput(Sig(TestSig::RAW_DATA), true);
    EXPECT_EQ(CountContaining(capture.Lines(), "ExternalQ Input: RAW DATA. Queue size: 11\n"), 1);
    mayGoOn.release();
    ASSERT_TRUE(machine.WaitForRecords(12));
}
