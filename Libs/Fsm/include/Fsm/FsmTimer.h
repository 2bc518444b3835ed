// The timer list of a machine: one-shot timers counted down by the machine's timer thread in
// steps of 100 ms; an expired timer becomes a signal in the machine's internal queue.
#pragma once

#include "Fsm/FsmInput.h"
#include "Fsm/FsmSignal.h"

#include <ace/Guard_T.h>
#include <ace/Mutex.h>
#include <ace/Time_Value.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>

// The tick of the timer thread and of the event counter's poll: 0 s and 100000 us.
inline const ACE_Time_Value g_FsmTick(0, 100000);
// The countdown step of one pass, in milliseconds.
inline constexpr int32_t kFsmTickMs = 100;

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

    // Cancels every pending timer for target and removes every signal with that number from the
    // internal queue. Lock order: timer list, then internal queue.
    void Stop(int32_t target)
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        m_timers.remove_if([target](const std::unique_ptr<CFsmTimeSignal>& t)
                           { return t->GetTarget() == target; });
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
                auto signal = std::make_unique<Sig>(timer);
                it = m_timers.erase(it); // deletes the timer and its data
                m_owner->Input().PutInternal(std::move(signal));
                m_owner->ExternalInput(std::make_unique<Sig>(FSM_SIG_WAKEUP), false);
            }
            else
            {
                ++it;
            }
        }
    }

    std::size_t Pending() const
    {
        ACE_Guard<ACE_Mutex> guard(m_lock);
        return m_timers.size();
    }

    // Number of countdown passes begun so far.
    uint64_t Passes() const { return m_passes.load(); }

private:
    mutable ACE_Mutex m_lock;
    Owner* m_owner;
    std::list<std::unique_ptr<CFsmTimeSignal>> m_timers;
    std::atomic<uint64_t> m_passes{0};
};
