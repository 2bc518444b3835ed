// The table-driven finite-state machine: the state table types, the abstract base CFsmBase and
// CFsm, which holds the table, the current state and the trace settings and dispatches one signal.
#pragma once

#include "Fsm/FsmSignal.h"
#include "Fsm/SignalNames.h"
#include "Fsm/TraceFlags.h"
#include "LogTrace/LogTrace.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Every machine can be posted to through this interface, from any thread, with signals of its type.
template <class Sig> class CFsmBase
{
public:
    virtual ~CFsmBase() = default;
    // The machine takes the signal over. normal true: back of the external queue; false: front (priority).
    virtual void ExternalInput(std::unique_ptr<Sig> signal, bool normal = true) = 0;
};

// A job: a member function of the application taking the signal being dispatched. The engine destroys
// the signal after the job unless the job moved it away to keep it (Save).
template <class App, class Sig> using CFsmJob = void (App::*)(std::unique_ptr<Sig>&);

// One transition of a state's row: signal number, next state, job.
template <class App, class Sig> struct CFsmTransition
{
    int32_t signal;
    int32_t nextState;
    CFsmJob<App, Sig> job;
};

// One state's entry: its name, the row header (default next state and default job, taken for every
// signal without a transition) and the transitions in declaration order (the first match wins).
template <class App, class Sig> struct CFsmState
{
    const char* name;
    int32_t defaultNextState;
    CFsmJob<App, Sig> defaultJob;
    std::vector<CFsmTransition<App, Sig>> transitions;
};

// The state table, indexed by state number minus 1. Applications keep it as static data built once,
// for instance as a function-local static returned by a static member function.
template <class App, class Sig> using CFsmStateTable = std::vector<CFsmState<App, Sig>>;

template <class App, class Sig> class CFsm : public CFsmBase<Sig>
{
public:
    using SignalPtr = std::unique_ptr<Sig>;
    using Job = CFsmJob<App, Sig>;
    using StateTable = CFsmStateTable<App, Sig>;

    static constexpr std::size_t kLineSize = 500;
    static constexpr int kJobLineSize = 512;
    static constexpr int kDataLineSize = 2000;

    // name is copied; trace may be absent. Trace flags: 0 for debug mask 0, else the mask with bit 128.
    CFsm(const char* name, int32_t initialState, const StateTable& table, const CSignalNameEntry* signalNames,
         LogTrace* trace, unsigned char debugMask)
        : m_state(initialState), m_table(&table), m_name(name != nullptr ? name : ""),
          m_signalNames(signalNames), m_trace(trace), m_traceFlags(TraceFlagsFor(debugMask))
    {
        m_line[0] = '\0';
    }

    int32_t GetState() const { return m_state; }
    const char* GetName() const { return m_name.c_str(); }
    LogTrace* GetTrace() const { return m_trace; }
    unsigned char GetTraceFlags() const { return m_traceFlags; }
    // Leaves out the dispatch line where it would hold nothing but its header (no bit 1 or 2), so that
    // a trace of reports gets no empty record for every signal. Before Start.
    void OmitBareDispatchHeaders()
    {
        if ((m_traceFlags & (TRACE_TRANSITIONS | TRACE_SIGNALS)) == 0)
            m_traceFlags &= static_cast<unsigned char>(~TRACE_HEADER);
    }

    // The name of a state number from the table; "" for a number outside it.
    const char* StateName(int32_t state) const
    {
        if (state < 1 || static_cast<std::size_t>(state) > m_table->size())
        {
            return "";
        }
        const char* name = (*m_table)[static_cast<std::size_t>(state - 1)].name;
        return name != nullptr ? name : "";
    }

    // The name of a signal number copied into buffer (kSignalNameSize characters).
    char* SignalName(int32_t number, char* buffer) const
    {
        return FsmSignalName(m_signalNames, number, buffer);
    }
    std::string SignalName(int32_t number) const
    {
        char buffer[kSignalNameSize];
        return FsmSignalName(m_signalNames, number, buffer);
    }

    // One step of the machine: looks the signal up in the current state's row, writes the dispatch line,
    // runs the job (the state is still the old one while it runs) and moves to the next state.
    // Returns whether the state changed. Used by the engine thread only.
    bool Dispatch(SignalPtr& signal)
    {
        if (!signal || m_state < 1 || static_cast<std::size_t>(m_state) > m_table->size())
        {
            return false;
        }
        const int32_t number = signal->GetNumber();
        const int32_t oldState = m_state;
        const Step step = StepFor(oldState, number);

        if (m_trace != nullptr)
        {
            WriteDispatchLine(number, step.listed, oldState, step.nextState);
        }
        if (step.job != nullptr)
        {
            (static_cast<App*>(this)->*step.job)(signal);
        }
        m_state = step.nextState;
        return m_state != oldState;
    }

    // What the table does with a signal in a state: the job, the state that follows, and whether the
    // row lists the signal (else its default). A state outside the table keeps itself with no job.
    struct Step
    {
        Job job;
        int32_t nextState;
        bool listed;
    };
    Step StepFor(int32_t state, int32_t number) const
    {
        if (state < 1 || static_cast<std::size_t>(state) > m_table->size())
        {
            return {nullptr, state, false};
        }
        const CFsmState<App, Sig>& row = (*m_table)[static_cast<std::size_t>(state - 1)];
        for (const auto& transition : row.transitions)
        {
            if (transition.signal == number)
            {
                return {transition.job, transition.nextState, true};
            }
        }
        return {row.defaultJob, row.defaultNextState, false};
    }

    // "*F: <name>                      Job: " and the job name, formatted with any further arguments;
    // written when the machine has a trace and trace bit 4. The job name is a string literal.
    void TraceJob(const char* jobName, ...) const __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, jobName);
        TraceLine<kJobLineSize>(TRACE_JOBS, "*F: %-12.12s                      Job: ", jobName, args);
        va_end(args);
    }

    // "*F: <name>                      Data: " and the formatted report, cut so that the whole line stays
    // within 2000 characters; written when the machine has a trace and trace bit 8.
    void TraceData(const char* format, ...) const __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        TraceLine<kDataLineSize>(TRACE_DATA, "*F: %-12.12s                      Data: ", format, args);
        va_end(args);
    }

private:
    // The machine's name in prefix, then the formatted text, cut to the line's size; bit selects the line.
    template <int LineSize>
    __attribute__((format(printf, 4, 0))) void TraceLine(unsigned char bit, const char* prefix,
                                                         const char* format, va_list args) const
    {
        if (m_trace == nullptr || (m_traceFlags & bit) == 0)
        {
            return;
        }
        char line[LineSize];
        const int used = std::snprintf(line, sizeof line, prefix, m_name.c_str());
        if (used >= 0 && used < LineSize)
        {
            std::vsnprintf(line + used, sizeof line - static_cast<std::size_t>(used), format, args);
        }
        m_trace->Append("%s", line);
    }

private:
    // Composes the dispatch line in the line buffer: header (bit 128), signal (bit 2), states (bit 1).
    void WriteDispatchLine(int32_t number, bool found, int32_t oldState, int32_t nextState)
    {
        std::size_t used = 0;
        m_line[0] = '\0';
        if (m_traceFlags & TRACE_HEADER)
        {
            used = Advance(
                used, std::snprintf(m_line + used, kLineSize - used, "\n\n*F: %-12.12s ", m_name.c_str()));
        }
        if ((m_traceFlags & TRACE_SIGNALS) && used < kLineSize - 1)
        {
            char name[kSignalNameSize];
            used = Advance(used, std::snprintf(m_line + used, kLineSize - used, "S: %-17.17s ",
                                               SignalName(number, name)));
        }
        if ((m_traceFlags & TRACE_TRANSITIONS) && used < kLineSize - 1)
        {
            used = Advance(used,
                           std::snprintf(m_line + used, kLineSize - used,
                                         found ? "St:  %-15.15s --> %-15.15s" : "ASt: %-15.15s --> %-15.15s",
                                         StateName(oldState), StateName(nextState)));
        }
        if (m_line[0] != '\0')
        {
            m_trace->Append("%s", m_line);
        }
    }

    static std::size_t Advance(std::size_t used, int written)
    {
        if (written <= 0)
        {
            return used;
        }
        std::size_t next = used + static_cast<std::size_t>(written);
        return next < kLineSize - 1 ? next : kLineSize - 1;
    }

    int32_t m_state;
    const StateTable* m_table;
    std::string m_name;
    const CSignalNameEntry* m_signalNames;
    LogTrace* m_trace;
    unsigned char m_traceFlags;
    char m_line[kLineSize];
};
