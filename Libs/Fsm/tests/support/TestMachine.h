// Test support: a small application machine on the real engine, built the way the control is built
// (static table built once, member-function jobs, InitJob override, Start/Stop). Each job records what
// it saw; a test may hang a hook on a signal number to act inside the job on the engine thread.
#pragma once

#include "Fsm/ApplFsm.h"
#include "Fsm/SignalNames.h"

#include <ace/Semaphore.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// The test machine's signals. A few take the logger's numbers and names, so that the trace lines of
// the tests read like the logger's own.
namespace TestSig
{
enum : int32_t
{
    PZELT_6 = 50006,
    PZELT_24 = 50024,
    PZELT_161 = 50161,
    NEW_FILE_TIMEOUT = 56101,
    RAW_DATA = 57001,
    INPUT_FREQ_REPORT = 60042,
};
} // namespace TestSig

inline constexpr CSignalNameEntry kTestSignalNames[] = {
    {TestSig::PZELT_6, "PZELT_6 "},    {TestSig::PZELT_24, "PZELT_24"},
    {TestSig::PZELT_161, "PZELT_161"}, {TestSig::NEW_FILE_TIMEOUT, "NEW_FILE_TIMEOUT"},
    {TestSig::RAW_DATA, "RAW DATA"},   {TestSig::INPUT_FREQ_REPORT, "INPUT_FREQ_REPORT"},
    {FSM_SIG_WAKEUP, "_TIMEHANDL"},    {FSM_SIG_TIMER, "_TIMEOUT"},
    {FSM_SIG_UNKNOWN, "_UNKNOWN"},     {FSM_SIG_END, "END_OF_TABLE"},
};

class CTestMachine : public CApplFsm<CTestMachine, CZeltSignal>
{
public:
    enum State : int32_t
    {
        IDLE = 1,
        RUNNING = 2,
    };
    // Signals of the test table without a name, so their names are decimal.
    static constexpr int32_t SIG_SAVE_1 = 61001;
    static constexpr int32_t SIG_SAVE_2 = 61002;
    static constexpr int32_t SIG_GO = TestSig::PZELT_6;     // IDLE -> RUNNING
    static constexpr int32_t SIG_BACK = TestSig::PZELT_161; // RUNNING -> IDLE
    static constexpr int32_t SIG_TERMINATE = TestSig::PZELT_24;

    struct Record
    {
        std::string job;
        int32_t number;
        int32_t state;
        std::string data;
        bool timed;
    };

    using Hook = std::function<void(CTestMachine&, SignalPtr&)>;

    explicit CTestMachine(LogTrace* trace = nullptr, unsigned char debugMask = 0,
                          const char* name = "TestMachine")
        : CApplFsm(name, IDLE, Table(), kTestSignalNames, trace, debugMask), m_terminated(0)
    {
    }
    ~CTestMachine() override { Stop(); }

    // Set before Start; run inside the job of that signal number, on the engine thread.
    void OnSignal(int32_t number, Hook hook) { m_hooks[number] = std::move(hook); }
    void OnInit(std::function<void(CTestMachine&)> hook) { m_initHook = std::move(hook); }

    void InitJob() override
    {
        TraceJob("InitJob");
        if (m_initHook)
        {
            m_initHook(*this);
        }
    }

    void JobRecord(SignalPtr& signal) { Note("JobRecord", signal); }
    void JobGo(SignalPtr& signal) { Note("JobGo", signal); }
    void JobTerminate(SignalPtr& signal)
    {
        Note("JobTerminate", signal);
        m_terminated.release();
    }

    static const StateTable& Table()
    {
        static const StateTable table = {
            {"IDLE",
             IDLE,
             &CTestMachine::JobRecord,
             {
                 {SIG_GO, RUNNING, &CTestMachine::JobGo},
                 {SIG_SAVE_1, IDLE, &CTestMachine::Save},
                 {SIG_SAVE_2, IDLE, &CTestMachine::Save},
                 {SIG_TERMINATE, IDLE, &CTestMachine::JobTerminate},
             }},
            {"RUNNING",
             RUNNING,
             &CTestMachine::JobRecord,
             {
                 {SIG_TERMINATE, RUNNING, &CTestMachine::JobTerminate},
                 {SIG_BACK, IDLE, &CTestMachine::JobRecord},
             }},
        };
        return table;
    }

    std::vector<Record> Records() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_records;
    }

    // "<job> <number>@<state>" for each record, in order.
    std::vector<std::string> Seen() const
    {
        std::vector<std::string> seen;
        for (const auto& r : Records())
        {
            seen.push_back(r.job + " " + std::to_string(r.number) + "@" + std::to_string(r.state));
        }
        return seen;
    }

    // Waits (bounded) until at least count jobs have run; returns whether they did.
    bool WaitForRecords(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_records.size() >= count; });
    }

    // Waits (bounded) until a job has seen number; returns whether one did.
    bool WaitForSignal(int32_t number, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout,
                                  [&]
                                  {
                                      for (const auto& r : m_records)
                                      {
                                          if (r.number == number)
                                          {
                                              return true;
                                          }
                                      }
                                      return false;
                                  });
    }

    ACE_Semaphore& Terminated() { return m_terminated; }

    // One dispatch step as the engine thread makes it: the signal goes afterwards unless the job kept
    // it. Returns whether the state changed.
    bool DispatchOwned(SignalPtr signal) { return Dispatch(signal); }

private:
    // The record is made before the hook runs (the hook may take the signal) and published after it,
    // so that a test that saw the record also sees everything the hook did.
    void Note(const char* job, SignalPtr& signal)
    {
        TraceJob("%s", job);
        Record record{job, signal->GetNumber(), GetState(), std::string(), signal->IsTimed()};
        if (signal->GetData() != nullptr)
        {
            record.data.assign(signal->GetData(), static_cast<std::size_t>(signal->GetLength()));
        }
        auto hook = m_hooks.find(record.number);
        if (hook != m_hooks.end())
        {
            hook->second(*this, signal);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_records.push_back(std::move(record));
        }
        m_changed.notify_all();
    }

    std::map<int32_t, Hook> m_hooks;
    std::function<void(CTestMachine&)> m_initHook;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Record> m_records;
    ACE_Semaphore m_terminated;
};
