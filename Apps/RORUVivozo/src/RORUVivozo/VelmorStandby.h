// A minimal machine that keeps the process up and ends it on PZELT_24.
#pragma once

#include "Fsm/ApplFsm.h"

class CVelmorStandby : public CApplFsm<CVelmorStandby, CZeltSignal>
{
public:
    CVelmorStandby(const char* name, int32_t initialState, LogTrace* trace, unsigned char debugMask);
    ~CVelmorStandby() override;

    void JobDisregardSig(CZeltSignal*& signal);
    void JobTerminate(CZeltSignal*& signal);

private:
    static const StateTable& Table();
};
