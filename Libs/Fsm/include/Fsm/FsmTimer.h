// The timer list of a machine: one-shot timers counted down by the machine's timer thread in
// steps of 100 ms, and timers due at a moment of the monotonic clock; an expired timer becomes a signal
// in the machine's internal queue.
#pragma once

#include "Fsm/FsmInput.h"
#include "Fsm/FsmSignal.h"

#include <ace/Guard_T.h>
#include <ace/Mutex.h>
#include <ace/Time_Value.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>

// The tick of the timer thread and of the event counter's poll: 0 s and 100000 us.
inline const ACE_Time_Value g_FsmTick(0, 100000);
// The countdown step of one pass, in milliseconds.
inline constexpr int32_t kFsmTickMs = 100;

// The clock of every timer and measuring interval: wall-clock steps (NTP, the GNSS time source) must
// neither shorten nor stretch them.
using FsmClock = std::chrono::steady_clock;

// The monotonic clock as ACE time, for code that measures in ACE_Time_Value.
inline ACE_Time_Value FsmMonotonicNow()
{
    const auto sinceStart =
        std::chrono::duration_cast<std::chrono::microseconds>(FsmClock::now().time_since_epoch()).count();
    return ACE_Time_Value(static_cast<time_t>(sinceStart / 1000000),
                          static_cast<suseconds_t>(sinceStart % 1000000));
}

template <class App, class Sig> class CApplFsm;

template <class App, class Sig> class CFsmTimer
{
public:
    using Owner = CApplFsm<App, Sig>;

    explicit CFsmTimer(Owner* owner) : m_owner(owner) {}
    // The list owns its timers: pending ones are deleted with their data.
    virtual ~CFsmTimer() = default;

    CFsmTimer(const CFsmTimer&) = delete;
    CFsmTimer& operator=(const CFsmTimer&) = delete;

    // Appends an armed timer at the back of the list.
    void Add(std::unique_ptr<CFsmTimeSignal> timer)
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        m_timers.push_back(std::move(timer));
    }

    // Adds a timer that expires at the moment due instead of being counted down: a schedule of such
    // timers keeps to its moments however late each pass runs.
    void AddDue(std::unique_ptr<CFsmTimeSignal> timer, FsmClock::time_point due)
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        m_due.push_back({std::move(timer), due});
    }

    // Cancels every pending timer for target and removes every signal with that number from the
    // internal queue. Lock order: timer list, then internal queue.
    void Stop(int32_t target)
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        m_timers.remove_if([target](const std::unique_ptr<CFsmTimeSignal>& t)
                           { return t->GetTarget() == target; });
        m_due.remove_if([target](const DueTimer& t) { return t.timer->GetTarget() == target; });
        m_owner->Input().RemoveInternal(target);
    }

    // One countdown pass of the timer thread: each timer, in the order armed, loses 100 ms; one whose
    // remaining time falls below 0 becomes a signal at the back of the internal queue, and a wake-up goes
    // to the front of the external queue. Lock order: timer list, internal queue, external queue.
    void Tick()
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        ++m_passes;
        for (auto it = m_timers.begin(); it != m_timers.end();)
        {
            CFsmTimeSignal& timer = **it;
            timer.SetRemaining(timer.GetRemaining() - kFsmTickMs);
            if (timer.GetRemaining() < 0)
            {
                Expire(timer);
                it = m_timers.erase(it); // deletes the timer and its data
            }
            else
            {
                ++it;
            }
        }
        ExpireDueLocked(FsmClock::now());
    }

    // Expires the timers due by now, in the order armed.
    void ExpireDue(FsmClock::time_point now)
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        ExpireDueLocked(now);
    }

    // The earliest moment a timer is due at, if any.
    std::optional<FsmClock::time_point> NextDue() const
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        std::optional<FsmClock::time_point> next;
        for (const DueTimer& t : m_due)
            if (!next || t.due < *next)
                next = t.due;
        return next;
    }

    std::size_t Pending() const
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        return m_timers.size() + m_due.size();
    }

    // Number of countdown passes begun so far.
    uint64_t Passes() const { return m_passes.load(); }

private:
    struct DueTimer
    {
        std::unique_ptr<CFsmTimeSignal> timer;
        FsmClock::time_point due;
    };

    // The signal to the back of the internal queue and a wake-up to the front of the external queue.
    void Expire(const CFsmTimeSignal& timer)
    {
        m_owner->Input().PutInternal(std::make_unique<Sig>(timer));
        m_owner->ExternalInput(std::make_unique<Sig>(FSM_SIG_WAKEUP), false);
    }

    void ExpireDueLocked(FsmClock::time_point now)
    {
        for (auto it = m_due.begin(); it != m_due.end();)
        {
            if (it->due <= now)
            {
                Expire(*it->timer);
                it = m_due.erase(it);
            }
            else
            {
                ++it;
            }
        }
    }

    mutable ACE_Mutex m_lock;
    Owner* m_owner;
    std::list<std::unique_ptr<CFsmTimeSignal>> m_timers;
    std::list<DueTimer> m_due;
    std::atomic<uint64_t> m_passes{0};
};
