// The logger's signal numbers and the table that names them in trace lines.
#pragma once

#include "Fsm/FsmSignal.h"
#include "Fsm/SignalNames.h"
#include "SuiteProtocol/Sentence.h"

#include <array>
#include <cstdint>

// The signal numbers the logger makes or dispatches. Operator sentence n is signal PZELT_BASE + n.
namespace ZeltSig
{
inline constexpr int32_t PZELT_BASE = SuiteProtocol::kSentenceSignalBase;
inline constexpr int32_t PZELT_6 = PZELT_BASE + SuiteProtocol::kSentenceReread;     // read parameters
inline constexpr int32_t PZELT_15 = PZELT_BASE + SuiteProtocol::kSentenceStatus;    // status query
inline constexpr int32_t PZELT_24 = PZELT_BASE + SuiteProtocol::kSentenceTerminate; // terminate
inline constexpr int32_t PZELT_160 = PZELT_BASE + SuiteProtocol::kSentenceStart;    // start logging
inline constexpr int32_t PZELT_161 = PZELT_BASE + SuiteProtocol::kSentenceStop;     // stop logging
inline constexpr int32_t DB_READ_ERROR = 52001;
inline constexpr int32_t DB_READ_COMPL = 52002;
inline constexpr int32_t DB_REREAD_ERROR = 52003; // a reread failed: the parameters read before stay
inline constexpr int32_t NEW_FILE_TIMEOUT = 56101;
inline constexpr int32_t ERROR_NO_LOGFILE = 56102;
inline constexpr int32_t WAIT_DATA_TIMEOUT = 56103;
inline constexpr int32_t RETRY_LOGFILE = 56104; // a datagram tries again to open the file that failed
inline constexpr int32_t WATCHDOG_BEAT = 56105; // the engine shows the service manager it is alive
inline constexpr int32_t RAW_DATA = 57001;
inline constexpr int32_t INPUT_FREQ_REPORT = 60042;

// The logger's own signals and the engine's special numbers: no operator sentence may take one of them.
inline constexpr std::array<int32_t, 15> kNotFromSentences{
    DB_READ_ERROR,     DB_READ_COMPL, DB_REREAD_ERROR, NEW_FILE_TIMEOUT, ERROR_NO_LOGFILE,
    WAIT_DATA_TIMEOUT, RETRY_LOGFILE, WATCHDOG_BEAT,   RAW_DATA,         INPUT_FREQ_REPORT,
    FSM_SIG_WAKEUP,    FSM_SIG_TIMER, FSM_SIG_DRAINED, FSM_SIG_UNKNOWN,  FSM_SIG_END};
} // namespace ZeltSig

// The suite's signal-name table, ended by the entry (0, "END_OF_TABLE"). First entry wins.
extern const CSignalNameEntry g_ZeltSignalNames[];
