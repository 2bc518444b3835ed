// Tests of the event counter: the low-rate rule, the comparison with the limit, the pause, the real
// timing thread and the callback posting to a running machine.
#include "Fsm/EventCounter.h"
#include "support/TestMachine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
// Receives the counter's callbacks; optionally reports a low rate to a machine, as the control does.
class CRateWatcher
{
public:
    struct Call
    {
        double expectedHz;
        double receivedHz;
        int limit;
    };

    explicit CRateWatcher(CTestMachine* machine = nullptr) : m_machine(machine) {}

    void OnLowRate(double expectedHz, double receivedHz, int limit)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back({expectedHz, receivedHz, limit});
        }
        if (m_machine != nullptr)
        {
            m_machine->ExternalInput(std::make_unique<CZeltSignal>(TestSig::INPUT_FREQ_REPORT), true);
        }
        m_changed.notify_all();
    }

    std::vector<Call> Calls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

    bool WaitForCalls(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_calls.size() >= count; });
    }

private:
    CTestMachine* m_machine;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Call> m_calls;
};

using Counter = CEventCounter<CRateWatcher>;

ACE_Time_Value After(const ACE_Time_Value& start, long ms)
{
    ACE_Time_Value later = start;
    later += ACE_Time_Value(ms / 1000, (ms % 1000) * 1000);
    return later;
}

class EventCounter : public testing::Test
{
};
} // namespace

TEST_F(EventCounter, TheLowRateRuleLowersTheExpectedCountByThreeTenths)
{
    struct Case
    {
        int32_t intervalMs;
        int32_t expected;
        int32_t result;
    };
    const Case cases[] = {
        {10000, 10, 7},               // one event a second over 10 s
        {10000, 5, 5},                // three tenths of 5 round to nothing
        {10000, 20, 20},              // two a second: not a low rate
        {20999, 20, 14},              // the longest interval the rule covers
        {21000, 20, 20},              // beyond it
        {60000, 10, 10}, {0, 10, 10}, // not configured
        {500, 1, 1},                  // under a second counts as one whole second, never a division by zero
        {999, 10, 10},                // ten a second
        {1, 0, 0},                    // nothing expected stays nothing
        {5000, 15, 15},               // three a second
    };
    CRateWatcher watcher;
    Counter counter(&watcher, &CRateWatcher::OnLowRate);
    for (const auto& c : cases)
    {
        counter.Configure(c.intervalMs, c.expected, 0, 90);
        EXPECT_EQ(counter.Timing().Expected(), c.result)
            << c.intervalMs << " ms, " << c.expected << " expected";
        EXPECT_EQ(counter.Timing().Interval(), c.intervalMs);
    }
}

TEST_F(EventCounter, CallsBackOnlyWhenTheReceivedRateIsBelowTheLimit)
{
    struct Case
    {
        int events;
        bool calledBack;
    };
    const Case cases[] = {{50, true}, {53, true}, {54, false}, {60, false}, {0, true}};
    for (const auto& c : cases)
    {
        CRateWatcher watcher;
        Counter counter(&watcher, &CRateWatcher::OnLowRate);
        counter.Configure(60000, 60, 0, 90);
        for (int i = 0; i < c.events; ++i)
        {
            counter.CountEvent();
        }
        const ACE_Time_Value start = counter.Timing().StartTime();
        counter.Timing().Poll(After(start, 59999));
        EXPECT_TRUE(watcher.Calls().empty()) << "the interval has not ended yet";
        counter.Timing().Poll(After(start, 60000));
        auto calls = watcher.Calls();
        ASSERT_EQ(calls.size(), c.calledBack ? 1u : 0u) << c.events << " events";
        if (c.calledBack)
        {
            EXPECT_DOUBLE_EQ(calls[0].expectedHz, 1.0);
            EXPECT_DOUBLE_EQ(calls[0].receivedHz, c.events / 60.0);
            EXPECT_EQ(calls[0].limit, 90);
        }
        EXPECT_EQ(counter.EventCount(), 0) << "each measured interval starts from zero";
        EXPECT_TRUE(counter.Timing().Measuring()) << "no pause configured";
    }
}

TEST_F(EventCounter, EventsCountedDuringAPauseAreDiscarded)
{
    CRateWatcher watcher;
    Counter counter(&watcher, &CRateWatcher::OnLowRate);
    counter.Configure(60000, 60, 5000, 90);
    const ACE_Time_Value start = counter.Timing().StartTime();
    for (int i = 0; i < 60; ++i)
    {
        counter.CountEvent();
    }
    counter.Timing().Poll(After(start, 60000));
    EXPECT_TRUE(watcher.Calls().empty());
    EXPECT_FALSE(counter.Timing().Measuring()) << "the pause runs";
    for (int i = 0; i < 60; ++i)
    {
        counter.CountEvent();
    }
    counter.Timing().Poll(After(start, 64999));
    EXPECT_FALSE(counter.Timing().Measuring());
    counter.Timing().Poll(After(start, 65000));
    EXPECT_TRUE(counter.Timing().Measuring());
    EXPECT_EQ(counter.EventCount(), 0);
    counter.Timing().Poll(After(start, 125000));
    auto calls = watcher.Calls();
    ASSERT_EQ(calls.size(), 1u) << "the pause's 60 events must not count for the next interval";
    EXPECT_DOUBLE_EQ(calls[0].receivedHz, 0.0);
}

TEST_F(EventCounter, NothingIsMeasuredBeforeItIsConfigured)
{
    CRateWatcher watcher;
    Counter counter(&watcher, &CRateWatcher::OnLowRate);
    EXPECT_EQ(counter.Timing().Interval(), 0);
    EXPECT_EQ(counter.Timing().Limit(), 90);
    counter.Timing().Poll(After(ACE_OS::gettimeofday(), 3600000));
    EXPECT_TRUE(watcher.Calls().empty());
}

TEST_F(EventCounter, TheTimingThreadReportsALowRateAfterTheInterval)
{
    CRateWatcher watcher;
    Counter counter(&watcher, &CRateWatcher::OnLowRate);
    counter.Configure(1000, 10, 0, 90);
    counter.CountEvent();
    counter.CountEvent();
    ASSERT_TRUE(watcher.WaitForCalls(1));
    auto calls = watcher.Calls();
    EXPECT_DOUBLE_EQ(calls[0].expectedHz, 10.0);
    // Two events at most: on a stalled machine they may fall into a later interval, never more.
    EXPECT_LE(calls[0].receivedHz, 2.0);
    EXPECT_EQ(calls[0].limit, 90);
}

TEST_F(EventCounter, TheCallbackMayPostToARunningMachine)
{
    CTestMachine machine;
    machine.Start();
    CRateWatcher watcher(&machine);
    Counter counter(&watcher, &CRateWatcher::OnLowRate);
    counter.Configure(1000, 10, 0, 90);
    ASSERT_TRUE(machine.WaitForSignal(TestSig::INPUT_FREQ_REPORT));
    EXPECT_EQ(machine.Records()[0].job, "JobRecord");
}

TEST_F(EventCounter, CountsFromSeveralThreadsAreAllKept)
{
    CRateWatcher watcher;
    Counter counter(&watcher, &CRateWatcher::OnLowRate);
    counter.Configure(3600000, 1, 0, 90);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&counter]
            {
                for (int i = 0; i < 2500; ++i)
                {
                    counter.CountEvent();
                }
            });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(counter.EventCount(), 10000);
}

TEST_F(EventCounter, DestructionStopsTheTimingThreadWithinAboutATick)
{
    CRateWatcher watcher;
    auto counter = std::make_unique<Counter>(&watcher, &CRateWatcher::OnLowRate);
    counter->Configure(60000, 60, 0, 90);
    const auto before = std::chrono::steady_clock::now();
    counter.reset();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 3000);
}
