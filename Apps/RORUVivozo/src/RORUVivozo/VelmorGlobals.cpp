// Process-wide objects of the logger, created before the entry function runs.
#include "RORUVivozo/VelmorGlobals.h"

#include "Database/DBoperations.h"
#include "Database/Messages.h"

ACE_Semaphore velmorTerminationSemaphore(0, USYNC_THREAD, nullptr, nullptr, 0x7fffffff);

std::atomic<CFsmBase<CZeltSignal>*> velmorControl{nullptr};

CDBoperations velmorDatabase("Velmor");

CMessages velmorMessages;
