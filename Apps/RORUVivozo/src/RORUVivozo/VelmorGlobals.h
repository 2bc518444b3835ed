// Process-wide objects of the logger, created before the entry function runs.
#pragma once

#include <ace/Semaphore.h>
#include <ace/Time_Value.h>

#include <atomic>

// The logger every part of the process reports to.
inline constexpr const char* kProcessLogger = "RORUVIVOZO";

template <class Sig> class CFsmBase;
class CZeltSignal;
class CDBoperations;
class CMessages;

// The entry thread waits on it; the control's termination job releases it.
extern ACE_Semaphore velmorTerminationSemaphore;

// The running machine, set once by the entry before it is started; read by the signal handlers.
extern std::atomic<CFsmBase<CZeltSignal>*> velmorControl;

// The process's own database object "Velmor" and its operator-message poster.
extern CDBoperations velmorDatabase;
extern CMessages velmorMessages;
