// A minimal machine that keeps the process up and ends it on PZELT_24.
#include "RORUVivozo/VelmorStandby.h"

#include "RORUVivozo/VelmorGlobals.h"

CVelmorStandby::CVelmorStandby(const char* name, int32_t initialState, LogTrace* trace,
                               unsigned char debugMask)
    : CApplFsm(name, initialState, Table(), g_ZeltSignalNames, trace, debugMask)
{
}

CVelmorStandby::~CVelmorStandby()
{
    Stop();
}

const CVelmorStandby::StateTable& CVelmorStandby::Table()
{
    static const StateTable table = {
        {"IDLE",
         1,
         &CVelmorStandby::JobDisregardSig,
         {{ZeltSig::PZELT_24, 1, &CVelmorStandby::JobTerminate}}},
    };
    return table;
}

void CVelmorStandby::JobDisregardSig(CZeltSignal*&)
{
    TraceJob("JobDisregardSig");
}

void CVelmorStandby::JobTerminate(CZeltSignal*&)
{
    TraceJob("JobTerminate");
    velmorTerminationSemaphore.release();
}
