// The logger's application state machine: its states, the transition table, the jobs, the datagram
// log file and the input-rate supervision.
#pragma once

#include "Fsm/ApplFsm.h"
#include "Fsm/EventCounter.h"
#include "Fsm/FsmSignal.h"
#include "RORUVivozo/VelmorCountedMessages.h"
#include "RORUVivozo/VelmorDiskGuard.h"
#include "RORUVivozo/VelmorKernelDrops.h"
#include "RORUVivozo/VelmorLogSink.h"
#include "RORUVivozo/VelmorOpenRetry.h"
#include "RORUVivozo/VelmorParameterReader.h"
#include "RORUVivozo/VelmorReceivers.h"
#include "RORUVivozo/VelmorReportThrottle.h"
#include "RORUVivozo/VelmorRetention.h"
#include "RORUVivozo/VelmorServices.h"
#include "RORUVivozo/VelmorSignals.h"
#include "RORUVivozo/VelmorStartParameters.h"
#include "RORUVivozo/VelmorStatus.h"
#include "RORUVivozo/VelmorStatusPublisher.h"
#include "ServiceNotifier/ServiceNotifier.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// State numbers of the control's table.
enum VelmorState : int32_t
{
    VELMOR_IDLE = 1,
    VELMOR_DBINIT = 2,
    VELMOR_WAIT_LOGGING = 3,
    VELMOR_PREP_LOGGING = 4,
    VELMOR_ACTIVE_LOGGING = 5,
    VELMOR_DBERROR = 6,
    // After termination, by what was going on before it: datagrams received before the receivers
    // stopped are still written; every other signal is disregarded. Every state from here on is one.
    VELMOR_TERMINATED = 7, // nothing was being logged
    VELMOR_TERMINATED_WAITING = 8,
    VELMOR_TERMINATED_PREP = 9,
    VELMOR_TERMINATED_ACTIVE = 10,
};

// Operator messages the control reports.
enum VelmorMessage : int
{
    MSG_NO_LOGFILE = 1420,
    MSG_NO_LOG_STREAM = 1421,
    MSG_NO_PARAMETERS = 1423,
    MSG_NO_DATA = 1424,
    MSG_LOW_RATE = 1425,
    MSG_NO_WRITE = 1426,
    MSG_DATA_AGAIN = 1427,
    MSG_KERNEL_DROPS = 1428,
    MSG_QUEUE_DROPS = 1429,
    MSG_DISK_LOW = 1430,
    MSG_NO_ARCHIVE_COPY = 1431,
};

// Supervision tokens; a missing token reads as 0.
inline constexpr char kTokenMaxWaitTime[] = "RUNT_PARAM_RTCM_MAX_WAIT_TIME";
inline constexpr char kTokenFreqInterval[] = "RUNT_PARAM_RTCM_INPUT_FREQ_INTERVAL_LENGTH";
inline constexpr char kTokenFreqExpected[] = "RUNT_PARAM_RTCM_INPUT_FREQ_EXPECTED";
inline constexpr char kTokenFreqLimit[] = "RUNT_PARAM_RTCM_INPUT_FREQ_LIMIT";
inline constexpr char kTokenFreqPause[] = "RUNT_PARAM_RTCM_INPUT_FREQ_PAUSE_LENGTH";
// What the RINEX header of every converted file names; read as each file's conversion begins.
inline constexpr char kTokenMarkerName[] = "RINEX_MARKER_NAME";
inline constexpr char kTokenMarkerNumber[] = "RINEX_MARKER_NUMBER";
inline constexpr char kTokenObserver[] = "RINEX_OBSERVER";
inline constexpr char kTokenAgency[] = "RINEX_AGENCY";
// Seconds a conversion may run before it is ended; read once at start.
inline constexpr char kTokenConversionTimeLimit[] = "RTCM_CONVERSION_TIME_LIMIT";
// Megabytes of datagrams that may wait for the disk; read once at start.
inline constexpr char kTokenQueueLimit[] = "RTCM_QUEUE_LIMIT_MB";
// Read once at start: timed file changes on the clock (1), free megabytes below which the operator is
// told (0: never), days after which the logger's own converted files are deleted (0: never).
inline constexpr char kTokenAlignToClock[] = "RTCM_ALIGN_TO_CLOCK";
inline constexpr char kTokenDiskLow[] = "RTCM_DISK_LOW_MB";
inline constexpr char kTokenRetentionDays[] = "RTCM_RETENTION_DAYS";

// The logging parameters belong to this user's row in the database.
inline constexpr char kParameterUser[] = "HV user";

// What an INPUT_FREQ_REPORT signal carries, byte for byte.
struct InputFreqReport
{
    double expectedRate; // Hz
    double receivedRate; // Hz
    int32_t limit;       // percent
};

class CVelmorControl : public CApplFsm<CVelmorControl, CZeltSignal>
{
public:
    // Maximum wait time when the token reads 0, in seconds.
    static constexpr int32_t kDefaultMaxWaitTime = 20;
    // Conversion time limit when the token reads 0 or less, in seconds.
    static constexpr int32_t kDefaultConversionTimeLimit = 600;
    // Defaults of a start without a sentence, when the tokens read 0.
    static constexpr int32_t kDefaultStartInterval = 30;
    static constexpr int32_t kDefaultStartPort = 31103;
    // Every this many failed opens the operator is told again.
    static constexpr int32_t kOpenFailureReportEvery = 1000;
    // Datagrams that may wait for the disk when the token reads 0 or less, in megabytes.
    static constexpr int32_t kDefaultQueueLimitMb = 64;
    // Megabytes of free space as the disk guard's token and message count them, as the status line does.
    static constexpr std::uint64_t kBytesPerMegabyte = 1000000;
    // Sentences that may wait for the control, in bytes as datagrams are counted.
    static constexpr std::size_t kSentenceQueueLimit = 1 << 20;
    // A sentence dropped there is traced, then every this many.
    static constexpr int32_t kSentenceDropReportEvery = 1000;
    // What holding one signal in the queue costs besides its bytes: the signal, its list node and
    // their allocations.
    static constexpr std::size_t kQueuedSignalCost = 128;

    // The services must outlive the control.
    CVelmorControl(const char* processName, int32_t initialState, LogTrace* trace, unsigned char debugMask,
                   const VelmorServices& services);
    // Takes the control down in order: what was received is written, the open file closed and handed on.
    ~CVelmorControl() override;

    // Before Start: the command receiver listens on every interface instead of the loopback only.
    void TakeCommandsFromAllInterfaces();
    // Before Start: where the status snapshot and the metrics go; by default neither is written.
    void PublishStatus(CStatusPublisher::Paths paths);

    // Throws CVelmorStartError when a receiver cannot take its port.
    void InitJob() override;

    // Jobs of the table.
    void JobReadDB(SignalPtr& signal);
    void JobReadDBError(SignalPtr& signal);
    void JobRetryReadDB(SignalPtr& signal);
    void JobRetryReadFailed(SignalPtr& signal);
    void JobRereadDB(SignalPtr& signal);
    void JobRereadError(SignalPtr& signal);
    void JobWaitLogging(SignalPtr& signal);
    void JobPrepLogging(SignalPtr& signal);
    void JobStartLogging(SignalPtr& signal);
    void JobLog(SignalPtr& signal);
    void JobNoLogFile(SignalPtr& signal);
    void JobRetryOpen(SignalPtr& signal);
    void JobRetryLogging(SignalPtr& signal);
    void JobStopRetry(SignalPtr& signal);
    void JobNewFile(SignalPtr& signal);
    void JobTimedNewFile(SignalPtr& signal);
    void JobRestartLog(SignalPtr& signal);
    void JobErrRestartLog(SignalPtr& signal);
    void JobRestartPrep(SignalPtr& signal);
    void JobErrRestartPrep(SignalPtr& signal);
    void JobTimedPrepLogging(SignalPtr& signal);
    void JobCheckInput(SignalPtr& signal);
    void JobInputFreqReport(SignalPtr& signal);
    void JobStopLogging(SignalPtr& signal);
    void JobStopPrep(SignalPtr& signal);
    void JobReportOff(SignalPtr& signal);
    void JobReportOn(SignalPtr& signal);
    void JobTerminate(SignalPtr& signal);
    void JobDisregardSig(SignalPtr& signal);
    void JobWatchdogBeat(SignalPtr& signal);

    // Tells the service manager the new state; on the engine thread, never for a datagram logged.
    void StateChanged(int32_t from, int32_t to) override;

    // The event counter's callback, on the counter's thread: posts the report to the external queue.
    void InputFreqCallback(double expectedRate, double receivedRate, int limit);

private:
    static const StateTable& Table();

    // Runs a job so that nothing it throws reaches the engine thread.
    template <void (CVelmorControl::*job)(SignalPtr&)> void Guarded(SignalPtr& signal);
    // A datagram after termination: the job it would have run before it.
    template <void (CVelmorControl::*job)(SignalPtr&)> void Drained(SignalPtr& signal);
    void ReportJobFailure(const char* what);
    void ArmWatchdogBeat();
    // The state as the status shows it.
    static LoggerState StatusState(int32_t state);

    // Steps the jobs share.
    // A new schedule of timed file changes from now; the next change of the running schedule.
    void ArmNewFileTimer();
    void ArmNextRotation();
    // The next change on the first clock boundary after the wall clock's now + ahead; returns it.
    std::chrono::system_clock::time_point ArmClockRotation(std::chrono::system_clock::duration ahead);
    void ArmWaitDataTimer();
    void CancelTimers();
    void ReportParameterReadFailure();
    void Send(std::string_view sentence);
    // Asks the parameter reader for the row; the result comes as DB_READ_COMPL or the failure signal.
    void RequestParameters(int32_t failureSignal);
    void OnParametersRead(const ParameterRow* row, const CParameterReader::Request& request);
    // The row that a DB_READ_COMPL carries, its log file and interval taken; none from any other signal.
    std::optional<ParameterRow> TakeParameters(const CZeltSignal& signal);
    void TakeStartParameters(const CZeltSignal& signal);
    // The log file and interval of a start; its port goes through TakeDataPort.
    void TakeLogFile(const StartParameters& start);
    // How every rotation goes: the timers stop, the file closes with its report, what the job takes on
    // for the next file is taken, then the timers of the next file are armed.
    enum class TimersToStop
    {
        All,
        WaitDataOnly, // the new-file timer has just run out: the next one keeps its schedule
    };
    void Rotate(TimersToStop stop, const std::function<void()>& beforeArming = {});
    // A new logging period while no file is open: the timers start afresh after what the job takes on.
    void Restart(const std::function<void()>& beforeArming = {});
    // Ends a logging period: the timers and the supervision stop, the file (if one is open) closes with
    // its report, and the operator hears OFF.
    void StopLogging(bool fileOpen);

    // Input-rate supervision.
    void ConfigureSupervision(bool fresh);
    void RemoveSupervision();
    // On the datagram path: the no-data check's flag, the rate count, and the recovery note after an
    // outage reported by 1424.
    void CountDatagram();
    void ReportDataAgain(FsmClock::duration silence);
    // Off the datagram path: on the no-data check and at the end.
    void ReportKernelDrops();
    void ReportQueueDrops();

    // Receiver plumbing, on the IO thread.
    void OnDatagram(const char* data, std::uint64_t count);
    void OnCommand(const char* data, std::uint64_t count);
    void OnReceiverText(const std::string& text) const;

    // Housekeeping off the engine thread: the disk guard's word on the status thread, and what a
    // retention pass must leave whatever its age.
    void ReportDiskLow(std::uint64_t freeBytes, const std::string& folder, std::optional<double> daysLeft);
    std::vector<std::string> FilesInUse();

    // The station token as the conversion's station filter; an ID out of range is reported and reads 0.
    unsigned int ConversionStation();
    // The station and the header labels of the tokens, for a file opened at the given time.
    Rtcm3::ScanContext ConversionContext(std::time_t opened);

    // Before everything that reports to it.
    CLoggerStatus m_status;
    // The log file and interval of the last start or read; the data port is the receivers'.
    StartParameters m_start;
    CCountedMessages m_messages; // the suite's, every message counted for the status
    CVelmorTokens& m_tokens;
    FsmClock::time_point m_rotationDue;  // the moment of the next timed file change
    std::unique_ptr<CLogSink> m_logSink; // the log file, from its opening to its conversion
    std::unique_ptr<CVelmorReceivers> m_receivers;
    CReportThrottle m_openFailures{kOpenFailureReportEvery};
    COpenRetry m_openRetry;
    bool m_commandsFromAllInterfaces = false;
    bool m_alignToClock = false; // timed file changes on whole intervals from 00:00 UTC
    std::time_t m_clockChangeTraced = 0;
    int32_t m_maxWaitTime = kDefaultMaxWaitTime; // seconds
    bool m_dataSeen = false;
    bool m_dataMissing = false; // 1424 reported and no datagram since
    std::unique_ptr<CEventCounter<CVelmorControl>> m_eventCounter;
    CKernelDrops m_kernelDrops;
    // What waits in the external queue: datagrams for the disk, sentences for the control. Past either
    // limit the receiver's callback drops what comes, before its copy; a termination always gets in.
    CFsmBudget m_waitingData{std::size_t{kDefaultQueueLimitMb} << 20};
    CFsmBudget m_waitingSentences{kSentenceQueueLimit};
    CKernelDrops m_queueDrops; // told as the kernel's are
    std::atomic<bool> m_terminationQueued{false};
    CReportThrottle m_sentenceDrops{kSentenceDropReportEvery}; // on the IO thread
    std::unique_ptr<CParameterReader> m_parameterReader;
    CServiceNotifier m_notifier;
    CStatusPublisher::Paths m_statusPaths;
    int32_t m_diskLowMb = 0;                       // 0: the disk is never low
    std::unique_ptr<CRetention> m_retention;       // while files are kept for a number of days only
    std::unique_ptr<CDiskGuard> m_diskGuard;       // from InitJob on, used by the publisher's thread
    std::unique_ptr<CStatusPublisher> m_publisher; // from InitJob on
    std::optional<std::chrono::milliseconds> m_watchdogBeat; // none when no watchdog is asked for
    std::chrono::milliseconds m_beatEvery{0};                // the engine's beat, from InitJob on
    long m_beatsSinceAlive = 0;
    bool m_readyNotified = false;
};
