// The control's jobs: reading the parameters, starting, rotating and stopping log files, and telling
// the operator the logging state.
#include "Database/DBoperations.h"
#include "Database/Messages.h"
#include "Platform/DecimalText.h"
#include "RORUVivozo/VelmorControl.h"
#include "RORUVivozo/VelmorGlobals.h"
#include "SuiteProtocol/ChannelDirectory.h"
#include "SuiteProtocol/Sentence.h"
#include "Udp/UdpReceiver.h"

#include <climits>
#include <cstring>

using namespace ZeltSig;

namespace
{

constexpr char kParameterReadError[] =
    "\n\tERROR: Not able to read RORUVivozo process parameters from ZeltDB.";

// Delays are whole milliseconds in 32 bits; larger settings wait as long as that allows.
int32_t delayMs(int32_t value, int32_t unitMs)
{
    const long long ms = static_cast<long long>(value) * unitMs;
    return ms > INT32_MAX ? INT32_MAX : (ms < INT32_MIN ? INT32_MIN : static_cast<int32_t>(ms));
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

void CVelmorControl::ReleaseData(CZeltSignal* signal)
{
    if (signal != nullptr)
        signal->TakeData();
}

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
    m_rotationDue = FsmClock::now() + std::chrono::milliseconds(delayMs(m_start.interval, 60000));
    StartTimerAt(NEW_FILE_TIMEOUT, m_rotationDue);
}

void CVelmorControl::ArmNextRotation()
{
    if (m_start.interval <= 0)
        return ArmNewFileTimer();
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

void CVelmorControl::CloseWithReport()
{
    if (m_logFile->closeLogFile())
        TraceData("\n\t Closed datagram log file:\n\t %s.", m_logFile->path().c_str());
    else
        TraceData("\n\tWARNING: Not able to close datagram log file:\n\t         %s.",
                  m_logFile->path().c_str());
}

void CVelmorControl::ReportParameterReadFailure()
{
    TraceData("%s", kParameterReadError);
    velmorMessages.postFormattedMessage(MSG_NO_PARAMETERS);
}

void CVelmorControl::Send(std::string_view sentence)
{
    // The termination's OFF is the last word the operator gets.
    if (GetState() == VELMOR_TERMINATED)
        return;
    SuiteProtocol::sendSentence(m_io, sentence.data(), sentence.size(), SuiteProtocol::statusDestination());
}

void CVelmorControl::TakeLogFile(const StartParameters& start)
{
    m_start.directory = start.directory;
    m_start.fileName = start.fileName;
    m_start.interval = start.interval;
}

void CVelmorControl::TakeStartParameters(const CZeltSignal& signal)
{
    const StartParameters parameters = parseStartSentence(dataOf(signal), Tokens());
    TakeLogFile(parameters);
    TakeDataPort(parameters.port);
}

void CVelmorControl::RequestParameters(CZeltSignal* signal, int32_t failureSignal)
{
    ReleaseData(signal);
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
    CloseWithReport();
    if (beforeArming)
        beforeArming();
    if (stop == TimersToStop::All)
        ArmNewFileTimer();
    else
        ArmNextRotation();
    ArmWaitDataTimer();
}

void CVelmorControl::JobReadDB(CZeltSignal*& signal)
{
    TraceJob("JobReadDB");
    RequestParameters(signal, DB_READ_ERROR);
}

void CVelmorControl::JobReadDBError(CZeltSignal*& signal)
{
    TraceJob("JobReadDBError");
    ReleaseData(signal);
    ReportParameterReadFailure();
    // A database that is briefly unreadable at start-up must not leave the logger deaf for good.
    ArmWaitDataTimer();
}

void CVelmorControl::JobRetryReadDB(CZeltSignal*& signal)
{
    TraceJob("JobRetryReadDB");
    ReleaseData(signal);
    TraceData("\n\tInfo: Reading RORUVivozo process parameters from ZeltDB again.");
    // Told once at the first failure; each further try is only traced.
    m_parameterReader->request({.failureSignal = DB_READ_ERROR, .reportFailure = false});
}

void CVelmorControl::JobRetryReadFailed(CZeltSignal*& signal)
{
    TraceJob("JobRetryReadFailed");
    ReleaseData(signal);
    TraceData("%s", kParameterReadError);
    ArmWaitDataTimer();
}

// The parameters were read before: a failed reread keeps them and returns to WAIT_LOGGING.
void CVelmorControl::JobRereadDB(CZeltSignal*& signal)
{
    TraceJob("JobRereadDB");
    RequestParameters(signal, DB_REREAD_ERROR);
}

void CVelmorControl::JobRereadError(CZeltSignal*& signal)
{
    TraceJob("JobRereadError");
    ReleaseData(signal);
    Send(SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobWaitLogging(CZeltSignal*& signal)
{
    TraceJob("JobWaitLogging");
    RemoveSupervision();
    CancelTimers();
    m_dataSeen = false;
    m_openRetry.clear();
    // The row read just now: reading it again would only wait on the database once more.
    const std::optional<ParameterRow> row = TakeParameters(*signal);
    ReleaseData(signal);
    if (!row)
    {
        Send(SuiteProtocol::kLoggingOff);
        return;
    }

    if (row->loggingSelected != 0)
    {
        const std::string start = SuiteProtocol::startSentence(
            row->dirValue, row->fileValue, std::string_view(row->intervalValue), m_start.port);
        InternalInput(CZeltSignal::CopyOf(PZELT_160, start.data(), static_cast<int32_t>(start.size())));
        Send(SuiteProtocol::kLoggingSelectedOn);
    }
    else
    {
        Send(SuiteProtocol::kLoggingOff);
        Send(SuiteProtocol::kLoggingSelectedOff);
    }
}

void CVelmorControl::JobPrepLogging(CZeltSignal*& signal)
{
    TraceJob("JobPrepLogging");
    CancelTimers();
    m_dataSeen = false;
    m_openRetry.clear();
    ConfigureSupervision(true);
    if (dataOf(*signal).empty())
    {
        StartParameters parameters = startParametersFromTokens(Tokens());
        if (parameters.interval == 0)
            parameters.interval = kDefaultStartInterval;
        TakeLogFile(parameters);
        TakeDataPort(parameters.port == 0 ? kDefaultStartPort : parameters.port);
    }
    else
    {
        TakeStartParameters(*signal);
    }
    ReleaseData(signal);
    ArmNewFileTimer();
    ArmWaitDataTimer();
}

void CVelmorControl::JobStartLogging(CZeltSignal*& signal)
{
    TraceJob("JobStartLogging");
    m_dataSeen = true;
    CountDatagram();
    bool opened = false;
    const std::string_view datagram = dataOf(*signal);
    if (!datagram.empty() && m_logFile->openLogFile(m_start.directory, m_start.fileName))
    {
        m_logFile->writeDatagram(reinterpret_cast<const unsigned char*>(datagram.data()), datagram.size());
        Send(SuiteProtocol::kLoggingOn);
        m_openFailures = 0;
        m_openRetry.clear();
        opened = true;
    }
    ReleaseData(signal);
    if (!opened)
        InternalInput(std::make_unique<CZeltSignal>(ERROR_NO_LOGFILE, this, nullptr, 0));
}

void CVelmorControl::JobLog(CZeltSignal*& signal)
{
    TraceJob("JobLog");
    m_dataSeen = true;
    CountDatagram();
    const std::string_view datagram = dataOf(*signal);
    m_logFile->writeDatagram(reinterpret_cast<const unsigned char*>(datagram.data()), datagram.size());
    ReleaseData(signal);
    // The file went from its path and could not be opened there again.
    if (!m_logFile->isOpen())
        InternalInput(std::make_unique<CZeltSignal>(ERROR_NO_LOGFILE, this, nullptr, 0));
}

void CVelmorControl::JobNoLogFile(CZeltSignal*& signal)
{
    TraceJob("JobNoLogFile");
    StopTimer(NEW_FILE_TIMEOUT);
    m_dataSeen = false;
    ReleaseData(signal);
    if (m_openFailures % kOpenFailureReportEvery == 0)
    {
        TraceData("\n\tERROR: Not able to open .rtcm log file: %s", m_logFile->path().c_str());
        velmorMessages.postFormattedMessage(MSG_NO_LOGFILE, squeezedPath(m_logFile->path()));
    }
    // Wraps to the start of a report cycle instead of overflowing.
    m_openFailures = m_openFailures == INT32_MAX ? 0 : m_openFailures + 1;
    ArmNewFileTimer();
    m_openRetry.failed();
}

// WAIT_LOGGING on RAW DATA: after a failed open the datagram goes back to PREP_LOGGING with the machine
// and tries the open there, at most once a second.
void CVelmorControl::JobRetryOpen(CZeltSignal*& signal)
{
    if (!m_openRetry.pending())
    {
        JobDisregardSig(signal);
        return;
    }
    TraceJob("JobRetryOpen");
    if (!m_openRetry.due())
    {
        ReleaseData(signal);
        return;
    }
    InternalInput(std::make_unique<CZeltSignal>(RETRY_LOGFILE, this, nullptr, 0));
    Save(signal);
}

void CVelmorControl::JobRetryLogging(CZeltSignal*& signal)
{
    TraceJob("JobRetryLogging");
    ReleaseData(signal);
    CancelTimers();
    m_dataSeen = false;
    ConfigureSupervision(false);
    ArmNewFileTimer();
    ArmWaitDataTimer();
}

// WAIT_LOGGING on a stop: after a failed open, logging is still on until the retries are stopped as
// a logging period without a file; otherwise there is nothing to stop.
void CVelmorControl::JobStopRetry(CZeltSignal*& signal)
{
    if (m_openRetry.pending())
        JobStopPrep(signal);
    else
        JobDisregardSig(signal);
}

void CVelmorControl::JobNewFile(CZeltSignal*& signal)
{
    TraceJob("JobNewFile");
    Rotate(TimersToStop::All,
           [&]
           {
               if (dataOf(*signal).empty())
                   TakeLogFile(startParametersFromTokens(Tokens()));
               else
                   TakeStartParameters(*signal);
           });
    ReleaseData(signal);
}

void CVelmorControl::JobTimedNewFile(CZeltSignal*& signal)
{
    TraceJob("JobTimedNewFile");
    ReleaseData(signal);
    Rotate(TimersToStop::WaitDataOnly);
}

void CVelmorControl::JobRestartLog(CZeltSignal*& signal)
{
    TraceJob("JobRestartLog");
    Rotate(TimersToStop::All, [&] { TakeParameters(*signal); });
    ReleaseData(signal);
}

void CVelmorControl::JobErrRestartLog(CZeltSignal*& signal)
{
    TraceJob("JobErrRestartLog");
    ReleaseData(signal);
    Rotate(TimersToStop::All, [this] { ReportParameterReadFailure(); });
}

void CVelmorControl::JobTimedPrepLogging(CZeltSignal*& signal)
{
    TraceJob("JobTimedPrepLogging");
    ReleaseData(signal);
    ArmNextRotation();
    ConfigureSupervision(false);
}

void CVelmorControl::JobStopLogging(CZeltSignal*& signal)
{
    TraceJob("JobStopLogging");
    ReleaseData(signal);
    m_openRetry.clear();
    CancelTimers();
    m_dataSeen = false;
    RemoveSupervision();
    CloseWithReport();
    Send(SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobStopPrep(CZeltSignal*& signal)
{
    TraceJob("JobStopPrep");
    ReleaseData(signal);
    m_openRetry.clear();
    CancelTimers();
    m_dataSeen = false;
    RemoveSupervision();
    Send(SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobReportOff(CZeltSignal*& signal)
{
    ReleaseData(signal);
    Send(SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobReportOn(CZeltSignal*& signal)
{
    ReleaseData(signal);
    // Without a bound data port nothing can be logged, whatever the state.
    Send(m_dataReceiver->LocalPort() != 0 ? SuiteProtocol::kLoggingOn : SuiteProtocol::kLoggingOff);
}

void CVelmorControl::JobTerminate(CZeltSignal*& signal)
{
    TraceJob("JobTerminate");
    m_drainState = GetState();
    Send(SuiteProtocol::kLoggingOff);
    // The job disposes of the signal itself; the engine then has nothing to delete.
    std::unique_ptr<CZeltSignal> disposed(signal);
    signal = nullptr;
    disposed.reset();
    velmorTerminationSemaphore.release();
}

void CVelmorControl::JobDrain(CZeltSignal*& signal)
{
    TraceJob("JobDrain");
    // Received before the receiver stopped: it goes where it would have gone before the termination.
    const Step step = StepFor(m_drainState, signal->GetNumber());
    m_drainState = step.nextState;
    if (step.job != nullptr)
        (this->*step.job)(signal);
}

void CVelmorControl::JobDisregardSig(CZeltSignal*& signal)
{
    TraceJob("JobDisregardSig");
    ReleaseData(signal);
}
