// The queue object of a machine: the external queue fed from any thread, the internal queue
// fed by the machine's own jobs and its timers, and the save list, each under its own lock.
#pragma once

#include "Fsm/Fsm.h"
#include "Fsm/FsmBudget.h"
#include "LogTrace/LogTrace.h"

#include <ace/Guard_T.h>
#include <ace/Mutex.h>
#include <ace/Semaphore.h>

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>

template <class App, class Sig> class CFsmInput
{
public:
    using Owner = CFsm<App, Sig>;
    using SignalPtr = std::unique_ptr<Sig>;

    // Above this many signals in the external queue a normal put writes the queue report.
    static constexpr std::size_t kQueueReportAbove = 10;

    CFsmInput(const Owner* owner, LogTrace* trace)
        : m_externalCount(0, USYNC_THREAD, nullptr, nullptr, 2147483647), m_owner(owner), m_trace(trace)
    {
    }
    // The lists own their signals: whatever is still queued or saved is deleted with its data.
    virtual ~CFsmInput() = default;

    CFsmInput(const CFsmInput&) = delete;
    CFsmInput& operator=(const CFsmInput&) = delete;

    // normal: back of the external queue, with the queue report above 10 signals; else the front, no report.
    // The external count is released exactly once per signal put. The ticket goes when the signal is taken.
    void PutExternal(SignalPtr signal, bool normal, CFsmBudget::Ticket ticket = {})
    {
        if (!signal)
        {
            return;
        }
        ACE_Guard<ACE_Mutex> guard(m_externalLock);
        if (normal)
        {
            const int32_t number = signal->GetNumber();
            m_external.push_back({std::move(signal), std::move(ticket)});
            m_externalCount.release();
            if (m_external.size() > kQueueReportAbove && m_trace != nullptr && QueueReportDue())
            {
                // The trace's own lock is the only lock taken while the external lock is held.
                char name[kSignalNameSize];
                m_trace->Append("\n*ExternalQ Input: %s. Queue size: %u\n", m_owner->SignalName(number, name),
                                static_cast<unsigned>(m_external.size()));
            }
        }
        else
        {
            m_external.push_front({std::move(signal), std::move(ticket)});
            m_externalCount.release();
        }
    }

    // Writes the queue report at most once a minute instead of for every put above 10 signals, so that
    // a burst that keeps the engine behind writes one, not one per signal. Before the machine starts.
    void ThrottleQueueReport() { m_throttled = true; }
    static constexpr std::chrono::seconds kThrottledReportInterval{60};

    // Waits until the external count shows a signal (or a wake-up).
    void WaitExternal() { m_externalCount.acquire(); }

    // The signal at the front of the external queue, or none.
    SignalPtr TakeExternal()
    {
        ACE_Guard<ACE_Mutex> guard(m_externalLock);
        if (m_external.empty())
        {
            return nullptr;
        }
        SignalPtr front = std::move(m_external.front().signal);
        m_external.pop_front();
        return front;
    }

    void PutInternal(SignalPtr signal)
    {
        if (!signal)
        {
            return;
        }
        ACE_Guard<ACE_Mutex> guard(m_internalLock);
        m_internal.push_back(std::move(signal));
    }

    SignalPtr TakeInternal()
    {
        ACE_Guard<ACE_Mutex> guard(m_internalLock);
        return TakeFront(m_internal);
    }

    // Removes (and deletes) every signal of the internal queue whose number is not 0 and equals number.
    // Returns how many were removed.
    std::size_t RemoveInternal(int32_t number)
    {
        ACE_Guard<ACE_Mutex> guard(m_internalLock);
        std::size_t before = m_internal.size();
        m_internal.remove_if([number](const SignalPtr& s)
                             { return s && s->GetNumber() != 0 && s->GetNumber() == number; });
        return before - m_internal.size();
    }

    void Save(SignalPtr signal)
    {
        if (!signal)
        {
            return;
        }
        ACE_Guard<ACE_Mutex> guard(m_saveLock);
        m_saved.push_back(std::move(signal));
    }

    // After a change of state: the saved signals go to the front of the internal queue, in the order in
    // which they were saved. Lock order: save lock, then internal lock.
    void RestoreSaved()
    {
        ACE_Guard<ACE_Mutex> saveGuard(m_saveLock);
        while (!m_saved.empty())
        {
            SignalPtr last = std::move(m_saved.back());
            m_saved.pop_back();
            ACE_Guard<ACE_Mutex> internalGuard(m_internalLock);
            m_internal.push_front(std::move(last));
        }
    }

    // Sizes and numbers in order, for reports and tests.
    std::size_t ExternalSize() const { return Size(m_externalLock, m_external); }
    std::size_t InternalSize() const { return Size(m_internalLock, m_internal); }
    std::size_t SavedSize() const { return Size(m_saveLock, m_saved); }
    std::list<int32_t> InternalNumbers() const { return Numbers(m_internalLock, m_internal); }
    std::list<int32_t> ExternalNumbers() const { return Numbers(m_externalLock, m_external); }

private:
    // Under the external lock.
    bool QueueReportDue()
    {
        if (!m_throttled)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (m_lastReport && now - *m_lastReport < kThrottledReportInterval)
            return false;
        m_lastReport = now;
        return true;
    }

    struct Queued
    {
        SignalPtr signal;
        CFsmBudget::Ticket ticket;
    };

    static const SignalPtr& SignalOf(const SignalPtr& signal) { return signal; }
    static const SignalPtr& SignalOf(const Queued& queued) { return queued.signal; }

    static SignalPtr TakeFront(std::list<SignalPtr>& list)
    {
        if (list.empty())
        {
            return nullptr;
        }
        SignalPtr front = std::move(list.front());
        list.pop_front();
        return front;
    }
    template <class Entry> static std::size_t Size(ACE_Mutex& lock, const std::list<Entry>& list)
    {
        ACE_Guard<ACE_Mutex> guard(lock);
        return list.size();
    }
    template <class Entry> static std::list<int32_t> Numbers(ACE_Mutex& lock, const std::list<Entry>& list)
    {
        ACE_Guard<ACE_Mutex> guard(lock);
        std::list<int32_t> numbers;
        for (const auto& entry : list)
        {
            const SignalPtr& s = SignalOf(entry);
            numbers.push_back(s ? s->GetNumber() : 0);
        }
        return numbers;
    }

    ACE_Semaphore m_externalCount;
    mutable ACE_Mutex m_externalLock;
    mutable ACE_Mutex m_internalLock;
    mutable ACE_Mutex m_saveLock;
    const Owner* m_owner;
    LogTrace* m_trace;
    bool m_throttled = false;
    std::optional<std::chrono::steady_clock::time_point> m_lastReport; // under the external lock
    std::list<Queued> m_external;
    std::list<SignalPtr> m_internal;
    std::list<SignalPtr> m_saved;
};
