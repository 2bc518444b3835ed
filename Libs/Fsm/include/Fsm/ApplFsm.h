// The application machine: CFsm plus the queue object, the timer list and the two threads
// (engine and timer) run through an ACE_Thread_Manager. Applications derive from CApplFsm<App, Sig>, Sig
// being their signal class (the suite's is CZeltSignal): made from a number, and from a CFsmTimeSignal.
//
// The pattern (tests/support/TestMachine.h is a complete one):
//
//   constexpr int32_t SIG_START = 61001, SIG_END = 61002;
//   constexpr CSignalNameEntry kNames[] = {
//       {SIG_START, "START"}, {SIG_END, "END"}, {FSM_SIG_END, "END_OF_TABLE"}};
//
//   class CMyMachine : public CApplFsm<CMyMachine, CZeltSignal>
//   {
//   public:
//       CMyMachine(LogTrace* trace, unsigned char mask)
//           : CApplFsm("MyMachine", 1, Table(), kNames, trace, mask) {}
//       ~CMyMachine() override { Stop(); }          // threads end before the members go
//       void InitJob() override { InternalInput(std::make_unique<CZeltSignal>(SIG_START)); }
//       void JobTerminate(SignalPtr& signal);
//   private:
//       static const StateTable& Table()             // static data, built once
//       {
//           static const StateTable table = {
//               {"IDLE", 1, &CMyMachine::JobDisregard, {{SIG_END, 1, &CMyMachine::JobTerminate}}},
//           };
//           return table;
//       }
//   };
//
//   CMyMachine machine(trace, mask);
//   machine.Start(ACE_DEFAULT_THREAD_PRIORITY);
//   machine.ExternalInput(std::make_unique<CZeltSignal>(SIG_END), true);   // any thread
#pragma once

#include "Fsm/Fsm.h"
#include "Fsm/FsmBudget.h"
#include "Fsm/FsmInput.h"
#include "Fsm/FsmSignal.h"
#include "Fsm/FsmTimer.h"
#include "LogTrace/LogTrace.h"

#include <ace/OS_NS_sys_time.h>
#include <ace/Semaphore.h>
#include <ace/Thread.h>
#include <ace/Thread_Manager.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>

template <class App, class Sig> class CApplFsm : public CFsm<App, Sig>
{
public:
    using Base = CFsm<App, Sig>;
    using typename Base::SignalPtr;
    using typename Base::StateTable;
    using InputType = CFsmInput<App, Sig>;
    using TimerType = CFsmTimer<App, Sig>;

    // How long Stop waits for the engine and timer threads.
    static constexpr int kStopWaitSeconds = 10;

    CApplFsm(const char* name, int32_t initialState, const StateTable& table,
             const CSignalNameEntry* signalNames, LogTrace* trace, unsigned char debugMask)
        : Base(name, initialState, table, signalNames, trace, debugMask),
          m_input(std::make_unique<InputType>(this, trace)), m_timers(std::make_unique<TimerType>(this)),
          m_threads(std::make_unique<ACE_Thread_Manager>())
    {
    }

    // The application's destructor must call Stop first, so that no job runs on a half-destroyed object;
    // this one calls it again for machines that never started. Queued signals and pending timers are
    // deleted with the queue object and the timer list.
    ~CApplFsm() override { Stop(); }

    CApplFsm(const CApplFsm&) = delete;
    CApplFsm& operator=(const CApplFsm&) = delete;

    // Runs InitJob on the calling thread, then starts the timer thread and the engine thread with the
    // given priority (falling back to the default priority where the system refuses it) and wakes the
    // engine. Returns 0, or -1 when a thread could not be started or the machine was started before.
    int Start(long priority = ACE_DEFAULT_THREAD_PRIORITY)
    {
        if (m_started)
        {
            return -1;
        }
        m_started = true;
        InitJob();
        int result = 0;
        if (Spawn(&CApplFsm::TimerThread, priority) == -1)
        {
            result = -1;
        }
        if (Spawn(&CApplFsm::EngineThread, priority) == -1)
        {
            result = -1;
        }
        else
        {
            m_engineRunning = true;
        }
        ExternalInput(std::make_unique<Sig>(FSM_SIG_WAKEUP), false);
        return result;
    }

    // Callable from any thread; the machine takes the signal over. normal true: back of the external queue
    // (with the queue report above 10 signals); false: front, as a priority signal.
    void ExternalInput(SignalPtr signal, bool normal = true) override
    {
        m_input->PutExternal(std::move(signal), normal);
    }

    // A trace of reports, without a record for every signal: no dispatch line that would hold only its
    // header, and the queue report at most once a minute instead of for every signal. Before Start.
    void QuietDispatch()
    {
        this->OmitBareDispatchHeaders();
        m_input->ThrottleQueueReport();
    }

    // A normal put that holds its ticket until the engine takes the signal: what waits stays within the
    // ticket's budget.
    void ExternalInput(SignalPtr signal, CFsmBudget::Ticket ticket)
    {
        m_input->PutExternal(std::move(signal), true, std::move(ticket));
    }

    // The application's initialisation job, run once by Start on the starting thread before the engine
    // and timer threads run. The engine's own version does nothing.
    virtual void InitJob() {}

    // Called on the engine thread after a job whose row changed the state; the engine's version does
    // nothing.
    virtual void StateChanged(int32_t /*from*/, int32_t /*to*/) {}

    // A signal to the machine itself: back of the internal queue, dispatched after the current dispatch
    // and before the next external signal.
    void InternalInput(SignalPtr signal) { m_input->PutInternal(std::move(signal)); }

    // A job for any application's table: the save list takes the signal over until the next change of
    // state.
    void Save(SignalPtr& signal)
    {
        this->TraceJob("Save");
        m_input->Save(std::move(signal));
    }

    // Asks the engine and timer threads to end, wakes the engine and waits for both, at most 10 seconds.
    // Returns whether they ended. Safe to call more than once; never from a job.
    bool Stop()
    {
        if (!m_threads)
        {
            return true;
        }
        m_engineRunning = false;
        m_threads->cancel_all();
        ExternalInput(std::make_unique<Sig>(FSM_SIG_WAKEUP), false);
        ACE_Time_Value deadline = ACE_OS::gettimeofday() + ACE_Time_Value(kStopWaitSeconds);
        return m_threads->wait(&deadline) == 0;
    }

    // Stop, after the engine has dispatched every signal queued before the call (waiting at most 10
    // seconds for that), and whatever their jobs posted to the internal queue. Never from a job.
    bool StopAfterQueued()
    {
        if (m_engineRunning && m_threads)
        {
            ExternalInput(std::make_unique<Sig>(FSM_SIG_DRAINED), true);
            ACE_Time_Value deadline = ACE_OS::gettimeofday() + ACE_Time_Value(kStopWaitSeconds);
            m_drained.acquire(deadline);
        }
        return Stop();
    }

    // Arms a one-shot timer: after delayMs the signal target, carrying data (may be absent), arrives on
    // the internal queue. A second timer for the same target leaves both pending.
    void StartTimer(int32_t target, int32_t delayMs, std::unique_ptr<char[]> data = nullptr,
                    int32_t length = 0)
    {
        auto timer =
            std::make_unique<CFsmTimeSignal>(FSM_SIG_TIMER, target, delayMs, std::move(data), length);
        TraceTimer(*timer, true);
        timer->SetPeriod(0);
        m_timers->Add(std::move(timer));
    }

    // Arms a one-shot timer that posts target at the moment due of the monotonic clock, within about a
    // millisecond when the moment is more than a tick away; its trace line shows the delay left.
    void StartTimerAt(int32_t target, FsmClock::time_point due)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - FsmClock::now()).count();
        auto timer = std::make_unique<CFsmTimeSignal>(
            FSM_SIG_TIMER, target, static_cast<int32_t>(std::clamp<long long>(left, 0, INT32_MAX)));
        TraceTimer(*timer, true);
        m_timers->AddDue(std::move(timer), due);
    }

    // Cancels every pending timer for target and removes every signal with that number from the internal
    // queue, whatever put it there.
    void StopTimer(int32_t target)
    {
        CFsmTimeSignal key(FSM_SIG_TIMER, target, 0);
        TraceTimer(key, false);
        m_timers->Stop(target);
    }

    // The timer line, with the machine's trace and trace bit 16:
    // "*F: <name>                      T+:  <signal>  Delay: <ms>" (T- when stopping).
    void TraceTimer(const CFsmTimeSignal& timer, bool starting) const
    {
        LogTrace* trace = this->GetTrace();
        if (trace == nullptr || (this->GetTraceFlags() & TRACE_TIMERS) == 0)
        {
            return;
        }
        char name[kSignalNameSize];
        this->SignalName(timer.GetTarget(), name);
        const unsigned delay = static_cast<unsigned>(timer.GetRemaining());
        if (starting)
        {
            trace->Append("*F: %-12.12s                      T+:  %-17.17s  Delay: %u", this->GetName(), name,
                          delay);
        }
        else
        {
            trace->Append("*F: %-12.12s                      T-:  %-17.17s  Delay: %u", this->GetName(), name,
                          delay);
        }
    }

    // The queue object and the timer list, for the timer list itself, reports and tests.
    InputType& Input() { return *m_input; }
    const InputType& Input() const { return *m_input; }
    TimerType& TimerList() { return *m_timers; }

private:
    int Spawn(ACE_THR_FUNC function, long priority)
    {
        const long flags = THR_NEW_LWP | THR_JOINABLE;
        if (m_threads->spawn(function, this, flags, nullptr, nullptr, priority) != -1)
        {
            return 0;
        }
        if (priority == ACE_DEFAULT_THREAD_PRIORITY)
        {
            return -1;
        }
        return m_threads->spawn(function, this, flags, nullptr, nullptr, ACE_DEFAULT_THREAD_PRIORITY) != -1
                   ? 0
                   : -1;
    }

    static ACE_THR_FUNC_RETURN EngineThread(void* arg)
    {
        // Named, so that an operator (top -H) or a debugger finds the thread that runs the jobs.
        pthread_setname_np(pthread_self(), "engine");
        static_cast<CApplFsm*>(arg)->RunEngine();
        return 0;
    }

    static ACE_THR_FUNC_RETURN TimerThread(void* arg)
    {
        pthread_setname_np(pthread_self(), "timers");
        static_cast<CApplFsm*>(arg)->RunTimers();
        return 0;
    }

    bool Cancelled() { return m_threads->testcancel(ACE_Thread::self()) != 0; }

    // The engine thread: the internal queue is emptied completely before the next external signal is
    // taken, and one external signal is taken per pass. Wake-ups from the external queue are dropped.
    void RunEngine()
    {
        while (!Cancelled())
        {
            while (auto signal = m_input->TakeInternal())
            {
                Handle(std::move(signal));
            }
            m_input->WaitExternal();
            if (auto signal = m_input->TakeExternal())
            {
                if (signal->GetNumber() == FSM_SIG_DRAINED)
                {
                    m_drained.release();
                }
                else if (signal->GetNumber() != FSM_SIG_WAKEUP)
                {
                    Handle(std::move(signal));
                }
            }
        }
    }

    // Dispatches one signal, which goes when this returns unless the job kept it; after a change of
    // state the saved signals go back to the front of the internal queue.
    void Handle(SignalPtr signal)
    {
        const int32_t from = this->GetState();
        const bool changed = this->Dispatch(signal);
        if (changed)
        {
            m_input->RestoreSaved();
            StateChanged(from, this->GetState());
        }
    }

    // The timer thread: a countdown pass as soon as it starts, then one per tick on a grid of the
    // monotonic clock, so that late passes do not add up; between passes it wakes for due timers.
    void RunTimers()
    {
        constexpr std::chrono::milliseconds tick(kFsmTickMs);
        FsmClock::time_point pass = FsmClock::now();
        while (!Cancelled())
        {
            m_timers->Tick();
            // After a stall (a suspended machine) the grid starts again instead of running passes at once.
            pass = std::max(pass + tick, FsmClock::now());
            for (FsmClock::time_point now = FsmClock::now(); now < pass; now = FsmClock::now())
            {
                std::this_thread::sleep_until(std::min(pass, m_timers->NextDue().value_or(pass)));
                m_timers->ExpireDue(FsmClock::now());
            }
        }
    }

    std::unique_ptr<InputType> m_input;
    std::unique_ptr<TimerType> m_timers;
    std::unique_ptr<ACE_Thread_Manager> m_threads;
    ACE_Semaphore m_drained{0}; // released when the engine reaches the mark of StopAfterQueued
    bool m_started = false;
    bool m_engineRunning = false; // the engine thread was started
};
