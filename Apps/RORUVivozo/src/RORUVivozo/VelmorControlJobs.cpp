// The control's jobs: reading the parameters, starting, rotating and stopping log files, and telling
// the operator the logging state.
#include "Platform/DecimalText.h"
#include "RORUVivozo/VelmorClockBoundary.h"
#include "RORUVivozo/VelmorControl.h"
#include "RORUVivozo/VelmorGlobals.h"
#include "SuiteProtocol/ChannelDirectory.h"
#include "SuiteProtocol/Sentence.h"

#include <cstring>
#include <ctime>
#include <utility>

using namespace ZeltSig;

namespace
{

constexpr char kParameterReadError[] =
    "\n\tERROR: Not able to read RORUVivozo process parameters from ZeltDB.";

// Delays are whole milliseconds in 32 bits.
int32_t delayMs(int32_t value, int32_t unitMs)
{
    return Platform::heldInt32(int64_t{value} * unitMs);
}

// The path as message 1420 shows it: runs of '/' and of '\' reduced to one.
std::string squeezedPath(const std::string& path)
{
    std::string squeezed;
    for (char c : path)
        if (!((c == '/' || c == '\\') && !squeezed.empty() && squeezed.back() == c))
            squeezed += c;
    return squeezed;
}

std::string_view dataOf(const CZeltSignal& signal)
{
    if (signal.GetData() == nullptr || signal.GetLength() <= 0)
        return {};
    return {signal.GetData(), static_cast<std::size_t>(signal.GetLength())};
}

} // namespace

void CVelmorControl::ArmNewFileTimer()
{
    // An interval of 0, a negative one or one that is not a number would rotate at every timer tick.
    if (m_start.interval <= 0)
    {
        TraceData("\n\tInfo: Rotation interval %d: timed file change is off; files change on command and "
                  "on reread only.",
                  m_start.interval);
        return;
    }
    if (m_alignToClock)
    {
        const std::time_t next = std::chrono::system_clock::to_time_t(ArmClockRotation({}));
        // Once per boundary: a failing open arms the timer anew every second.
        std::tm utc{};
        char at[16];
        if (next != std::exchange(m_clockChangeTraced, next) && ::gmtime_r(&next, &utc) != nullptr &&
            std::strftime(at, sizeof at, "%H:%M:%S", &utc) != 0)
            TraceData("\n\tInfo: Files change on the clock every %d min, next at %s UTC.", m_start.interval,
                      at);
        return;
    }
    m_rotationDue = FsmClock::now() + std::chrono::milliseconds(delayMs(m_start.interval, 60000));
    StartTimerAt(NEW_FILE_TIMEOUT, m_rotationDue);
}

std::chrono::system_clock::time_point
CVelmorControl::ArmClockRotation(std::chrono::system_clock::duration ahead)
{
    // The wait is measured on the monotonic clock, from the wall clock's distance to the boundary.
    const auto wall = std::chrono::system_clock::now();
    const FsmClock::time_point now = FsmClock::now();
    const auto boundary = nextClockBoundary(wall + ahead, m_start.interval);
    m_rotationDue = now + std::chrono::duration_cast<FsmClock::duration>(boundary - wall);
    StartTimerAt(NEW_FILE_TIMEOUT, m_rotationDue);
    return boundary;
}

void CVelmorControl::ArmNextRotation()
{
    if (m_start.interval <= 0)
        return ArmNewFileTimer();
    // On the clock, each change finds the boundary after it afresh, so a step of the wall clock is
    // followed at the next change. One that came a little before its boundary by the wall clock still
    // counts as that boundary's, so the next file is not one of a moment.
    constexpr std::chrono::seconds kBoundaryTolerance{1};
    if (m_alignToClock)
    {
        ArmClockRotation(kBoundaryTolerance);
        return;
    }
    // The n-th change of a run falls n intervals after its start, however late each change ran; one
    // missed altogether (a suspended machine) is skipped, not made up with a file of no length.
    const std::chrono::milliseconds interval(delayMs(m_start.interval, 60000));
    const FsmClock::time_point now = FsmClock::now();
    do
        m_rotationDue += interval;
    while (m_rotationDue <= now);
    StartTimerAt(NEW_FILE_TIMEOUT, m_rotationDue);
}

void CVelmorControl::ArmWaitDataTimer()
{
    StartTimer(WAIT_DATA_TIMEOUT, delayMs(m_maxWaitTime, 1000));
}

void CVelmorControl::CancelTimers()
{
    StopTimer(NEW_FILE_TIMEOUT);
    StopTimer(WAIT_DATA_TIMEOUT);
}

void CVelmorControl::ReportParameterReadFailure()
{
    TraceData("%s", kParameterReadError);
    m_messages.postFormatted(MSG_NO_PARAMETERS);
}

void CVelmorControl::Send(std::string_view sentence)
{
    // The termination's OFF is the last word the operator gets.
    if (GetState() >= VELMOR_TERMINATED)
        return;
    SuiteProtocol::sendSentence(m_receivers->context(), sentence.data(), sentence.size(),
                                SuiteProtocol::statusDestination());
}

void CVelmorControl::TakeLogFile(const StartParameters& start)
{
    m_start.directory = start.directory;
    m_start.fileName = start.fileName;
    m_start.interval = start.interval;
    if (m_retention)
        m_retention->patterns(m_start.directory, m_start.fileName);
}

void CVelmorControl::TakeStartParameters(const CZeltSignal& signal)
{
    const StartParameters parameters = parseStartSentence(dataOf(signal), m_tokens);
    TakeLogFile(parameters);
    m_receivers->takeDataPort(parameters.port);
}

void CVelmorControl::RequestParameters(int32_t failureSignal)
{
    m_parameterReader->request({.failureSignal = failureSignal, .reportFailure = true});
}

// On the reader's thread: trace lines, messages and the external queue take posts from any thread.
void CVelmorControl::OnParametersRead(const ParameterRow* row, const CParameterReader::Request& request)
{
    if (row == nullptr)
    {
        if (request.reportFailure)
            ReportParameterReadFailure();
        ExternalInput(std::make_unique<CZeltSignal>(request.failureSignal, this, nullptr, 0));
        return;
    }
    ExternalInput(CZeltSignal::CopyOf(DB_READ_COMPL, row, sizeof *row, this));
}

std::optional<ParameterRow> CVelmorControl::TakeParameters(const CZeltSignal& signal)
{
    if (signal.GetNumber() != DB_READ_COMPL || signal.GetData() == nullptr ||
        signal.GetLength() != static_cast<int32_t>(sizeof(ParameterRow)))
        return std::nullopt;
    ParameterRow row;
    std::memcpy(&row, signal.GetData(), sizeof row);
    row.dirValue[sizeof row.dirValue - 1] = '\0';
    row.fileValue[sizeof row.fileValue - 1] = '\0';
    row.intervalValue[sizeof row.intervalValue - 1] = '\0';
    TakeLogFile({.directory = row.dirValue,
                 .fileName = row.fileValue,
                 .interval = Platform::clampedInt32(row.intervalValue)});
    return row;
}

void CVelmorControl::Rotate(TimersToStop stop, const std::function<void()>& beforeArming)
{
    if (stop == TimersToStop::All)
        CancelTimers();
    else
        StopTimer(WAIT_DATA_TIMEOUT);
    m_dataSeen = false;
    ConfigureSupervision(false);
    m_logSink->rotate();
    if (beforeArming)
        beforeArming();
    if (stop == TimersToStop::All)
        ArmNewFileTimer();
    else
        ArmNextRotation();
    ArmWaitDataTimer();
}

void CVelmorControl::JobReadDB(SignalPtr&)
{
    TraceJob("JobReadDB");
    RequestParameters(DB_READ_ERROR);
}

void CVelmorControl::JobReadDBError(SignalPtr&)
{
    TraceJob("JobReadDBError");
    ReportParameterReadFailure();
    // A database that is briefly unreadable at start-up must not leave the logger deaf for good.
    ArmWaitDataTimer();
}

void CVelmorControl::JobRetryReadDB(SignalPtr&)
{
    TraceJob("JobRetryReadDB");
    TraceData("\n\tInfo: Reading RORUVivozo process parameters from ZeltDB again.");
    // Told once at the first failure; each further try is only traced.
    m_parameterReader->request({.failureSignal = DB_READ_ERROR, .reportFailure = false});
}

void CVelmorControl::JobRetryReadFailed(SignalPtr&)
{
    TraceJob("JobRetryReadFailed");
    TraceData("%s", kParameterReadError);
    ArmWaitDataTimer();
}

// The parameters were read before: a failed reread keeps them and returns to WAIT_LOGGING.
void CVelmorControl::JobRereadDB(SignalPtr&)
{
    TraceJob("JobRereadDB");
    RequestParameters(DB_REREAD_ERROR);
}

void CVelmorControl::JobRereadError(SignalPtr&)
{
    TraceJob("JobRereadError");
    Send(SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobWaitLogging(SignalPtr& signal)
{
    TraceJob("JobWaitLogging");
    RemoveSupervision();
    CancelTimers();
    m_dataSeen = false;
    // Logging the operator started and whose file could not be opened yet goes on with what was read.
    const bool loggingOn = m_openRetry.pending();
    m_openRetry.clear();
    // The row read just now: reading it again would only wait on the database once more.
    const std::optional<ParameterRow> row = TakeParameters(*signal);
    if (!row)
    {
        Send(SuiteProtocol::kLoggingOff);
        return;
    }

    if (row->loggingSelected != 0 || loggingOn)
    {
        const std::string start = SuiteProtocol::startSentence(
            row->dirValue, row->fileValue, std::string_view(row->intervalValue), m_receivers->dataPort());
        InternalInput(CZeltSignal::CopyOf(PZELT_160, start.data(), static_cast<int32_t>(start.size())));
    }
    else
    {
        Send(SuiteProtocol::kLoggingOff);
    }
    Send(row->loggingSelected != 0 ? SuiteProtocol::kLoggingSelectedOn : SuiteProtocol::kLoggingSelectedOff);
}

void CVelmorControl::JobPrepLogging(SignalPtr& signal)
{
    TraceJob("JobPrepLogging");
    CancelTimers();
    m_dataSeen = false;
    m_openRetry.clear();
    ConfigureSupervision(true);
    m_status.awaitingData(std::chrono::seconds(m_maxWaitTime));
    if (dataOf(*signal).empty())
    {
        StartParameters parameters = startParametersFromTokens(m_tokens);
        if (parameters.interval == 0)
            parameters.interval = kDefaultStartInterval;
        TakeLogFile(parameters);
        m_receivers->takeDataPort(parameters.port == 0 ? kDefaultStartPort : parameters.port);
    }
    else
    {
        TakeStartParameters(*signal);
    }
    ArmNewFileTimer();
    ArmWaitDataTimer();
}

void CVelmorControl::JobStartLogging(SignalPtr& signal)
{
    TraceJob("JobStartLogging");
    CountDatagram();
    bool opened = false;
    const std::string_view datagram = dataOf(*signal);
    if (!datagram.empty() && m_logSink->openLogFile(m_start.directory, m_start.fileName))
    {
        m_logSink->writeDatagram(reinterpret_cast<const unsigned char*>(datagram.data()), datagram.size());
        Send(SuiteProtocol::kLoggingOn);
        m_openFailures.reset();
        m_openRetry.clear();
        opened = true;
    }
    if (!opened)
        InternalInput(std::make_unique<CZeltSignal>(ERROR_NO_LOGFILE, this, nullptr, 0));
}

void CVelmorControl::JobLog(SignalPtr& signal)
{
    TraceJob("JobLog");
    CountDatagram();
    const std::string_view datagram = dataOf(*signal);
    m_logSink->writeDatagram(reinterpret_cast<const unsigned char*>(datagram.data()), datagram.size());
    // The file went from its path and could not be opened there again.
    if (!m_logSink->isOpen())
        InternalInput(std::make_unique<CZeltSignal>(ERROR_NO_LOGFILE, this, nullptr, 0));
}

void CVelmorControl::JobNoLogFile(SignalPtr&)
{
    TraceJob("JobNoLogFile");
    StopTimer(NEW_FILE_TIMEOUT);
    m_dataSeen = false;
    if (m_openFailures.count())
    {
        TraceData("\n\tERROR: Not able to open .rtcm log file: %s", m_logSink->path().c_str());
        m_messages.postFormatted(MSG_NO_LOGFILE, squeezedPath(m_logSink->path()));
    }
    ArmNewFileTimer();
    m_openRetry.failed();
}

// WAIT_LOGGING on RAW DATA: after a failed open the datagram goes back to PREP_LOGGING with the machine
// and tries the open there, at most once a second.
void CVelmorControl::JobRetryOpen(SignalPtr& signal)
{
    if (!m_openRetry.pending())
    {
        JobDisregardSig(signal);
        return;
    }
    TraceJob("JobRetryOpen");
    if (!m_openRetry.due())
        return;
    InternalInput(std::make_unique<CZeltSignal>(RETRY_LOGFILE, this, nullptr, 0));
    Save(signal);
}

void CVelmorControl::Restart(const std::function<void()>& beforeArming)
{
    CancelTimers();
    m_dataSeen = false;
    ConfigureSupervision(false);
    if (beforeArming)
        beforeArming();
    ArmNewFileTimer();
    ArmWaitDataTimer();
}

void CVelmorControl::JobRetryLogging(SignalPtr&)
{
    TraceJob("JobRetryLogging");
    Restart();
}

// WAIT_LOGGING on a stop: after a failed open, logging is still on until the retries are stopped as
// a logging period without a file; otherwise there is nothing to stop.
void CVelmorControl::JobStopRetry(SignalPtr& signal)
{
    if (m_openRetry.pending())
        JobStopPrep(signal);
    else
        JobDisregardSig(signal);
}

void CVelmorControl::JobNewFile(SignalPtr& signal)
{
    TraceJob("JobNewFile");
    Rotate(TimersToStop::All,
           [&]
           {
               if (dataOf(*signal).empty())
                   TakeLogFile(startParametersFromTokens(m_tokens));
               else
                   TakeStartParameters(*signal);
           });
}

void CVelmorControl::JobTimedNewFile(SignalPtr&)
{
    TraceJob("JobTimedNewFile");
    Rotate(TimersToStop::WaitDataOnly);
}

void CVelmorControl::JobRestartLog(SignalPtr& signal)
{
    TraceJob("JobRestartLog");
    Rotate(TimersToStop::All, [&] { TakeParameters(*signal); });
}

void CVelmorControl::JobErrRestartLog(SignalPtr&)
{
    TraceJob("JobErrRestartLog");
    Rotate(TimersToStop::All, [this] { ReportParameterReadFailure(); });
}

void CVelmorControl::JobRestartPrep(SignalPtr& signal)
{
    TraceJob("JobRestartPrep");
    Restart([&] { TakeParameters(*signal); });
}

// The parameters of the start stay, and so do its timers.
void CVelmorControl::JobErrRestartPrep(SignalPtr&)
{
    TraceJob("JobErrRestartPrep");
    ReportParameterReadFailure();
}

void CVelmorControl::JobTimedPrepLogging(SignalPtr&)
{
    TraceJob("JobTimedPrepLogging");
    ArmNextRotation();
    ConfigureSupervision(false);
}

void CVelmorControl::StopLogging(bool fileOpen)
{
    m_openRetry.clear();
    CancelTimers();
    m_dataSeen = false;
    RemoveSupervision();
    if (fileOpen)
        m_logSink->rotate();
    Send(SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobStopLogging(SignalPtr&)
{
    TraceJob("JobStopLogging");
    StopLogging(true);
}

void CVelmorControl::JobStopPrep(SignalPtr&)
{
    TraceJob("JobStopPrep");
    StopLogging(false);
}

void CVelmorControl::JobReportOff(SignalPtr&)
{
    Send(SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobReportOn(SignalPtr&)
{
    // Without a bound data port nothing can be logged, whatever the state.
    Send(m_receivers->dataPortBound() ? SuiteProtocol::kLoggingOn : SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobTerminate(SignalPtr&)
{
    TraceJob("JobTerminate");
    Send(SuiteProtocol::kLoggingOff);
    velmorTerminationSemaphore.release();
}

void CVelmorControl::JobDisregardSig(SignalPtr&)
{
    TraceJob("JobDisregardSig");
}
