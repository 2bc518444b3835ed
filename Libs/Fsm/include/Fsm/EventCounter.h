// The event counter: counts events (received datagrams) from any thread, and its own timing thread
// compares each measuring interval's count with the expected rate and calls the application back when
// the rate is too low. A pause may follow each measured interval; events counted in it are discarded.
// It holds no database objects: the application reports a low rate through its own message poster.
// Intervals run on the monotonic clock: a step of the wall clock neither ends one early nor stretches it.
#pragma once

#include "Fsm/FsmTimer.h"

#include <ace/OS_NS_sys_time.h>
#include <ace/OS_NS_unistd.h>
#include <ace/Semaphore.h>
#include <ace/Task.h>
#include <ace/Time_Value.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

template <class App> class CEventCounter;

// The timing task: the thread and the measuring state of an event counter.
template <class App> class CDoTiming : public ACE_Task_Base
{
public:
    // Called when the rate is low: expected rate and received rate in Hz, the limit in percent.
    using Callback = void (App::*)(double expectedHz, double receivedHz, int limitPercent);

    static constexpr int32_t kDefaultLimit = 90;

    CDoTiming() = default;
    ~CDoTiming() override = default;

    // The thread body: resets the count, then polls once per tick until asked to stop.
    int svc() override
    {
        // Made on the engine thread, whose name it would otherwise carry.
        pthread_setname_np(pthread_self(), "rate");
        m_countLock->acquire();
        *m_eventCount = 0;
        m_start = FsmMonotonicNow();
        m_countLock->release();
        m_measuring = true;
        if (m_started != nullptr)
        {
            m_started->release();
        }
        while (m_stop.load() == 0)
        {
            ACE_OS::sleep(g_FsmTick);
            Poll(FsmMonotonicNow());
        }
        return 0;
    }

    // One poll at the time now: ends a measuring interval (comparing its count with the expected count
    // and possibly calling back) or a pause once it has run its length. The configuration lock is held
    // for the whole poll, the count lock inside it: the same order as Configure.
    void Poll(const ACE_Time_Value& now)
    {
        m_configLock->acquire();
        if (m_interval > 0)
        {
            const long elapsedMs = (now - m_start).msec();
            if (m_measuring)
            {
                if (elapsedMs >= m_interval)
                {
                    m_countLock->acquire();
                    m_measuring = m_pause <= 0;
                    m_start = NextStart(m_interval, now);
                    const double seconds = m_interval / 1000.0;
                    const double expectedRate = m_expected / seconds;
                    const double receivedRate = *m_eventCount / seconds;
                    if (m_limit * expectedRate / 100.0 > receivedRate)
                    {
                        (m_application->*m_callback)(expectedRate, receivedRate, m_limit);
                    }
                    *m_eventCount = 0;
                    m_countLock->release();
                }
            }
            else if (elapsedMs >= m_pause)
            {
                m_measuring = true;
                m_countLock->acquire();
                m_start = NextStart(m_pause, now);
                *m_eventCount = 0;
                m_countLock->release();
            }
        }
        m_configLock->release();
    }

    // The start of the next interval or pause: where the one of this length ends, so that polls running
    // late do not shift the intervals; after a stall longer than that, now.
    ACE_Time_Value NextStart(int32_t lengthMs, const ACE_Time_Value& now) const
    {
        const ACE_Time_Value end = m_start + ACE_Time_Value(lengthMs / 1000, (lengthMs % 1000) * 1000);
        return (now - end).msec() < static_cast<unsigned long>(lengthMs) ? end : now;
    }

    // The measuring state, for reports and tests.
    int32_t Interval() const { return m_interval; }
    int32_t Expected() const { return m_expected; }
    int32_t Pause() const { return m_pause; }
    int32_t Limit() const { return m_limit; }
    bool Measuring() const { return m_measuring; }
    ACE_Time_Value StartTime() const { return m_start; }

private:
    friend class CEventCounter<App>;

    int32_t* m_eventCount = nullptr;
    ACE_Time_Value m_start = ACE_Time_Value::zero;
    int32_t m_interval = 0; // 0 until configured: nothing is measured
    int32_t m_expected = 0;
    int32_t m_pause = 0;
    int32_t m_limit = kDefaultLimit;
    bool m_measuring = true;
    std::atomic<int32_t> m_stop{0};
    App* m_application = nullptr;
    Callback m_callback = nullptr;
    ACE_Semaphore* m_countLock = nullptr;
    ACE_Semaphore* m_configLock = nullptr;
    ACE_Semaphore* m_started = nullptr;
};

template <class App> class CEventCounter
{
public:
    using Callback = typename CDoTiming<App>::Callback;

    // The low-rate rule applies to intervals up to this many milliseconds.
    static constexpr int32_t kLowRateIntervalMs = 20999;

    // Starts the timing thread and waits until it runs. Nothing here touches the database: a counter is
    // made on the engine thread at every start, where a busy database must not hold it up.
    CEventCounter(App* application, Callback callback) : m_countLock(1), m_configLock(1), m_started(1)
    {
        m_timing.m_application = application;
        m_timing.m_callback = callback;
        m_timing.m_eventCount = &m_eventCount;
        m_timing.m_countLock = &m_countLock;
        m_timing.m_configLock = &m_configLock;
        m_timing.m_started = &m_started;

        // The thread resets the count when it starts; waiting for that keeps a Configure or a count made
        // right after construction from being wiped out by it.
        m_started.acquire();
        if (m_timing.activate(THR_NEW_LWP | THR_JOINABLE, 1, 0, ACE_DEFAULT_THREAD_PRIORITY) == 0)
        {
            m_started.acquire();
        }
        m_started.release();
    }

    // Stops the timing thread and waits for it (it ends within about one tick).
    virtual ~CEventCounter()
    {
        m_timing.m_stop = 1;
        m_timing.wait();
    }

    CEventCounter(const CEventCounter&) = delete;
    CEventCounter& operator=(const CEventCounter&) = delete;

    // (Re)starts measuring: intervals of intervalMs with expected events each, a pause of pauseMs after each
    // measured interval (0 or less: none), and a callback when the rate falls below limitPercent.
    // At low rates (at most one expected event per second over an interval up to about 21 s) the expected
    // count is lowered by three tenths, so that a few late events do not raise an alarm.
    void Configure(int32_t intervalMs, int32_t expected, int32_t pauseMs, int32_t limitPercent)
    {
        if (intervalMs >= 1 && intervalMs <= kLowRateIntervalMs)
        {
            // Whole seconds, at least one: an interval below a second must not divide by zero.
            const int32_t seconds = std::max<int32_t>(1, intervalMs / 1000);
            if (expected / seconds <= 1)
            {
                const int32_t lowered = expected - 3 * (expected / 10);
                if (lowered > 0)
                {
                    expected = lowered;
                }
            }
        }
        m_configLock.acquire();
        m_timing.m_limit = limitPercent;
        m_timing.m_interval = intervalMs;
        m_timing.m_expected = expected;
        m_timing.m_pause = pauseMs;
        m_countLock.acquire();
        m_eventCount = 0;
        m_timing.m_start = FsmMonotonicNow();
        m_countLock.release();
        m_timing.m_measuring = true;
        m_configLock.release();
    }

    // Counts one event; any thread.
    void CountEvent()
    {
        m_countLock.acquire();
        ++m_eventCount;
        m_countLock.release();
    }

    int32_t EventCount()
    {
        m_countLock.acquire();
        int32_t count = m_eventCount;
        m_countLock.release();
        return count;
    }

    CDoTiming<App>& Timing() { return m_timing; }

private:
    int32_t m_eventCount = 0;
    CDoTiming<App> m_timing;
    ACE_Semaphore m_countLock;  // guards the event count and the start time
    ACE_Semaphore m_configLock; // guards the parameters; held by the timing thread for each whole poll
    ACE_Semaphore m_started;    // tells the constructor that the timing thread has made its first reset
};
