// The trace flags a machine keeps from its debug mask: which of its trace lines it writes.
#pragma once

enum : unsigned char
{
    TRACE_TRANSITIONS = 1, // "St:" / "ASt:" part of the dispatch line
    TRACE_SIGNALS = 2,     // "S:" part of the dispatch line
    TRACE_JOBS = 4,        // job lines (TraceJob)
    TRACE_DATA = 8,        // data lines (TraceData): every report of the control
    TRACE_TIMERS = 16,     // timer lines (TraceTimer)
    TRACE_HEADER = 128,    // dispatch header "\n\n*F: <name> "
};

// Trace flags for a debug mask: 0 for mask 0, otherwise the mask with bit 128 set.
inline unsigned char TraceFlagsFor(unsigned char debugMask)
{
    return debugMask == 0 ? 0 : static_cast<unsigned char>(debugMask | TRACE_HEADER);
}
