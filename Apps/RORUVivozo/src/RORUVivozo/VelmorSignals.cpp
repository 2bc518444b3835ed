// The signal-name table of the suite: the rows the logger uses; the other processes' signals
// are left out, and a number without a row is shown by its decimal text.
#include "RORUVivozo/VelmorSignals.h"

const CSignalNameEntry g_ZeltSignalNames[] = {
    {ZeltSig::PZELT_6, "PZELT_6 "}, // one-digit sentence names carry one trailing blank
    {ZeltSig::PZELT_15, "PZELT_15"},
    {ZeltSig::PZELT_24, "PZELT_24"},
    {ZeltSig::PZELT_160, "PZELT_160"},
    {ZeltSig::PZELT_161, "PZELT_161"},
    // The logger's own outgoing sentences: never dispatched, named should one come in.
    {ZeltSig::PZELT_BASE + SuiteProtocol::kSentenceLoggingState, "PZELT_162"},
    {ZeltSig::PZELT_BASE + SuiteProtocol::kSentenceLoggingSelected, "PZELT_163"},
    {ZeltSig::DB_READ_ERROR, "DB_READ_ERROR"},
    {ZeltSig::DB_READ_COMPL, "DB_READ_COMPL"},
    {ZeltSig::DB_REREAD_ERROR, "DB_REREAD_ERROR"},
    {ZeltSig::NEW_FILE_TIMEOUT, "NEW_FILE_TIMEOUT"},
    {ZeltSig::ERROR_NO_LOGFILE, "ERROR_NO_LOGFILE"},
    {ZeltSig::WAIT_DATA_TIMEOUT, "WAIT_DATA_TIMEOUT"},
    {ZeltSig::RETRY_LOGFILE, "RETRY_LOGFILE"},
    {ZeltSig::WATCHDOG_BEAT, "WATCHDOG_BEAT"},
    {ZeltSig::RAW_DATA, "RAW DATA"},
    {ZeltSig::INPUT_FREQ_REPORT, "INPUT_FREQ_REPORT"},
    {FSM_SIG_WAKEUP, "_TIMEHANDL"},
    {FSM_SIG_TIMER, "_TIMEOUT"},
    {FSM_SIG_UNKNOWN, "_UNKNOWN"},
    {FSM_SIG_END, "END_OF_TABLE"},
};
