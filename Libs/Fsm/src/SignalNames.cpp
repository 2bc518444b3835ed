// Looks a signal number up in a signal-name table.
#include "Fsm/SignalNames.h"

#include "Fsm/FsmSignal.h"

#include <cstdio>

char* FsmSignalName(const CSignalNameEntry* table, int32_t number, char* buffer)
{
    if (table != nullptr)
    {
        for (const CSignalNameEntry* entry = table; entry->number != FSM_SIG_END; ++entry)
        {
            if (entry->number == number)
            {
                std::snprintf(buffer, kSignalNameSize, "%s", entry->name);
                return buffer;
            }
        }
    }
    std::snprintf(buffer, kSignalNameSize, "%d", static_cast<int>(number));
    return buffer;
}
