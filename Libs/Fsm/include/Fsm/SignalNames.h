// A signal-name table: the rows an application names its signals by in trace lines.
#pragma once

#include "Fsm/FsmSignal.h"

#include <cstdint>

struct CSignalNameEntry
{
    int32_t number;
    const char* name;
};

// Size of the buffer a signal name is copied into.
inline constexpr int kSignalNameSize = 112;

// Copies the name of number from table into buffer (kSignalNameSize characters): the first entry whose
// number matches, else the decimal text of number. Returns buffer.
char* FsmSignalName(const CSignalNameEntry* table, int32_t number, char* buffer);
