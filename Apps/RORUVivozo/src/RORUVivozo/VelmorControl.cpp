// The logger's application state machine: construction, the transition table, InitJob starting the
// receivers, and the ordered take-down at the end of the process.
#include "RORUVivozo/VelmorControl.h"
#include "RORUVivozo/VelmorArchiveCopy.h"
#include "RORUVivozo/VelmorStatusText.h"

#include "RORUVivozo/VelmorGlobals.h"
#include "RORUVivozo/VelmorOpenFileNote.h"
#include "RORUVivozo/VelmorSignals.h"
#include "SuiteProtocol/ChannelDirectory.h"
#include "SuiteProtocol/DataPort.h"
#include "SuiteProtocol/Sentence.h"

#include <boost/asio/deadline_timer.hpp>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <new>

using namespace ZeltSig;

namespace
{

// How long the end of the process waits for a busy database to take the last operator messages.
constexpr std::chrono::milliseconds kMessageDrainLimit{5000};

// How long the end of the process waits for the IO thread to send what is queued.
constexpr std::chrono::milliseconds kLastSendsLimit{1000};

// Keeps the IO context busy from its first moment; its only visible effect is its line.
constexpr long kDummyTimerHours = 10000;

// The engine beats about this often, whether or not a service manager watches: the status says when
// the beats stop.
constexpr std::chrono::milliseconds kEngineBeatEvery{1000};

log4cplus::Logger processLog()
{
    return log4cplus::Logger::getInstance(kProcessLogger);
}

} // namespace

const CVelmorControl::StateTable& CVelmorControl::Table()
{
    using C = CVelmorControl;
    constexpr auto disregard = &C::Guarded<&C::JobDisregardSig>;
    static const StateTable table = {
        {"IDLE",
         VELMOR_IDLE,
         disregard,
         {
             {WATCHDOG_BEAT, VELMOR_IDLE, &C::Guarded<&C::JobWatchdogBeat>},
             {PZELT_6, VELMOR_DBINIT, &C::Guarded<&C::JobReadDB>},
             {PZELT_15, VELMOR_IDLE, &C::Guarded<&C::JobReportOff>},
             {PZELT_24, VELMOR_TERMINATED, &C::Guarded<&C::JobTerminate>},
         }},
        {"DBINIT",
         VELMOR_DBINIT,
         disregard,
         {
             {WATCHDOG_BEAT, VELMOR_DBINIT, &C::Guarded<&C::JobWatchdogBeat>},
             {DB_READ_COMPL, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobWaitLogging>},
             {DB_READ_ERROR, VELMOR_DBERROR, &C::Guarded<&C::JobReadDBError>},
             {DB_REREAD_ERROR, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobRereadError>},
             {PZELT_160, VELMOR_WAIT_LOGGING, &C::Save},
             {PZELT_161, VELMOR_WAIT_LOGGING, &C::Save},
             {PZELT_15, VELMOR_DBINIT, &C::Guarded<&C::JobReportOff>},
             {PZELT_24, VELMOR_TERMINATED, &C::Guarded<&C::JobTerminate>},
         }},
        {"WAIT_LOGGING",
         VELMOR_WAIT_LOGGING,
         disregard,
         {
             {WATCHDOG_BEAT, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobWatchdogBeat>},
             {PZELT_160, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobPrepLogging>},
             {PZELT_161, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobStopRetry>},
             {PZELT_15, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobReportOff>},
             {PZELT_6, VELMOR_DBINIT, &C::Guarded<&C::JobRereadDB>},
             {RAW_DATA, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobRetryOpen>},
             {RETRY_LOGFILE, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobRetryLogging>},
             {INPUT_FREQ_REPORT, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobInputFreqReport>},
             {PZELT_24, VELMOR_TERMINATED_WAITING, &C::Guarded<&C::JobTerminate>},
         }},
        {"PREP_LOGGING",
         VELMOR_PREP_LOGGING,
         disregard,
         {
             {WATCHDOG_BEAT, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobWatchdogBeat>},
             {RAW_DATA, VELMOR_ACTIVE_LOGGING, &C::Guarded<&C::JobStartLogging>},
             {PZELT_161, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobStopPrep>},
             {PZELT_160, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobPrepLogging>},
             {WAIT_DATA_TIMEOUT, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobCheckInput>},
             {NEW_FILE_TIMEOUT, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobTimedPrepLogging>},
             {PZELT_15, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobReportOn>},
             {PZELT_6, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobReadDB>},
             // A reread ends no logging the operator started: the next datagram opens the file.
             {DB_READ_COMPL, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobRestartPrep>},
             {DB_READ_ERROR, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobErrRestartPrep>},
             {INPUT_FREQ_REPORT, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobInputFreqReport>},
             {PZELT_24, VELMOR_TERMINATED_PREP, &C::Guarded<&C::JobTerminate>},
         }},
        {"ACTIVE_LOGGING",
         VELMOR_ACTIVE_LOGGING,
         disregard,
         {
             {WATCHDOG_BEAT, VELMOR_ACTIVE_LOGGING, &C::Guarded<&C::JobWatchdogBeat>},
             {RAW_DATA, VELMOR_ACTIVE_LOGGING, &C::Guarded<&C::JobLog>},
             {PZELT_160, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobNewFile>},
             {WAIT_DATA_TIMEOUT, VELMOR_ACTIVE_LOGGING, &C::Guarded<&C::JobCheckInput>},
             {NEW_FILE_TIMEOUT, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobTimedNewFile>},
             {ERROR_NO_LOGFILE, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobNoLogFile>},
             {PZELT_161, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobStopLogging>},
             {PZELT_15, VELMOR_ACTIVE_LOGGING, &C::Guarded<&C::JobReportOn>},
             {PZELT_6, VELMOR_ACTIVE_LOGGING, &C::Guarded<&C::JobReadDB>},
             {DB_READ_COMPL, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobRestartLog>},
             {DB_READ_ERROR, VELMOR_PREP_LOGGING, &C::Guarded<&C::JobErrRestartLog>},
             {INPUT_FREQ_REPORT, VELMOR_ACTIVE_LOGGING, &C::Guarded<&C::JobInputFreqReport>},
             {PZELT_24, VELMOR_TERMINATED_ACTIVE, &C::Guarded<&C::JobTerminate>},
         }},
        {"DBERROR",
         VELMOR_DBERROR,
         disregard,
         {
             {WATCHDOG_BEAT, VELMOR_DBERROR, &C::Guarded<&C::JobWatchdogBeat>},
             {WAIT_DATA_TIMEOUT, VELMOR_DBERROR, &C::Guarded<&C::JobRetryReadDB>},
             {DB_READ_ERROR, VELMOR_DBERROR, &C::Guarded<&C::JobRetryReadFailed>},
             {DB_READ_COMPL, VELMOR_WAIT_LOGGING, &C::Guarded<&C::JobWaitLogging>},
             {PZELT_24, VELMOR_TERMINATED, &C::Guarded<&C::JobTerminate>},
         }},
        // After termination the datagrams received before the receivers stopped still go where they
        // went before it; nothing else is taken up.
        {"TERMINATED",
         VELMOR_TERMINATED,
         disregard,
         {
             {RAW_DATA, VELMOR_TERMINATED, &C::Drained<&C::JobDisregardSig>},
         }},
        {"TERMINATED",
         VELMOR_TERMINATED_WAITING,
         disregard,
         {
             {RAW_DATA, VELMOR_TERMINATED_WAITING, &C::Drained<&C::JobRetryOpen>},
         }},
        {"TERMINATED",
         VELMOR_TERMINATED_PREP,
         disregard,
         {
             {RAW_DATA, VELMOR_TERMINATED_ACTIVE, &C::Drained<&C::JobStartLogging>},
         }},
        {"TERMINATED",
         VELMOR_TERMINATED_ACTIVE,
         disregard,
         {
             {RAW_DATA, VELMOR_TERMINATED_ACTIVE, &C::Drained<&C::JobLog>},
         }},
    };
    return table;
}

CVelmorControl::CVelmorControl(const char* processName, int32_t initialState, LogTrace* trace,
                               unsigned char debugMask, const VelmorServices& services)
    : CApplFsm(processName, initialState, Table(), g_ZeltSignalNames, trace, debugMask),
      m_messages(services.messages, m_status), m_tokens(services.tokens)
{
    // Both may report from threads of their own; trace lines are safe from any thread.
    m_messages.setReport([this](const std::string& line) { TraceData("%s", line.c_str()); });
    m_tokens.setReport([this](const std::string& line) { TraceData("%s", line.c_str()); });
    try
    {
        const int32_t timeLimit = m_tokens.integer(kTokenConversionTimeLimit);
        m_logSink = std::make_unique<CLogSink>(
            [this](const std::string& line) { TraceData("%s", line.c_str()); },
            std::chrono::seconds(timeLimit > 0 ? timeLimit : kDefaultConversionTimeLimit),
            [this](std::time_t opened) { return ConversionContext(opened); },
            [this](const std::string& path) { m_messages.postFormatted(MSG_NO_WRITE, path); }, &m_status,
            CVelmorConversion::Converter{}, openFileNotePath(GetName()),
            [this](const std::string& archiveFile)
            { m_messages.postFormatted(MSG_NO_ARCHIVE_COPY, archiveFile); });
    }
    catch (const std::bad_alloc&)
    {
        TraceData("\n\tERROR: Not able to open stream for output to .rtcm log file.");
        m_messages.postFormatted(MSG_NO_LOG_STREAM);
        std::exit(-1);
    }
    m_parameterReader = std::make_unique<CParameterReader>(
        services.parameters, [this](const ParameterRow* row, const CParameterReader::Request& request)
        { OnParametersRead(row, request); });
    m_receivers = std::make_unique<CVelmorReceivers>(CVelmorReceivers::Callbacks{
        [this](const char* data, std::uint64_t count) { OnDatagram(data, count); },
        [this](const char* data, std::uint64_t count) { OnCommand(data, count); },
        [this](const std::string& text) { OnReceiverText(text); },
        [this](const std::string& line) { TraceData("%s", line.c_str()); }});
    m_alignToClock = m_tokens.integer(kTokenAlignToClock) > 0;
    m_maxWaitTime = m_tokens.integer(kTokenMaxWaitTime);
    if (m_maxWaitTime == 0)
        m_maxWaitTime = kDefaultMaxWaitTime;
    m_status.messagesKnown({MSG_NO_LOGFILE, MSG_NO_LOG_STREAM, MSG_NO_PARAMETERS, MSG_NO_DATA, MSG_LOW_RATE,
                            MSG_NO_WRITE, MSG_DATA_AGAIN, MSG_KERNEL_DROPS, MSG_QUEUE_DROPS, MSG_DISK_LOW,
                            MSG_NO_ARCHIVE_COPY});
    m_diskLowMb = std::max(m_tokens.integer(kTokenDiskLow), 0);
    if (const int32_t days = m_tokens.integer(kTokenRetentionDays); days > 0)
        m_retention = std::make_unique<CRetention>(
            days, [this] { return FilesInUse(); },
            [this](const std::string& line) { TraceData("%s", line.c_str()); }, m_status);
    const int32_t queueLimitMb = m_tokens.integer(kTokenQueueLimit);
    m_waitingData = CFsmBudget(std::size_t(queueLimitMb > 0 ? queueLimitMb : kDefaultQueueLimitMb) << 20);
}

void CVelmorControl::TakeCommandsFromAllInterfaces()
{
    m_commandsFromAllInterfaces = true;
}

void CVelmorControl::PublishStatus(CStatusPublisher::Paths paths)
{
    m_statusPaths = std::move(paths);
}

void CVelmorControl::InitJob()
{
    TraceJob("InitJob");
    m_receivers->start(SuiteProtocol::dataPortFromToken(m_tokens.integer(SuiteProtocol::kDataPortToken)),
                       SuiteProtocol::channelPort(SuiteProtocol::commandChannelName(GetName())),
                       m_commandsFromAllInterfaces);
    // Once both ports are bound, so a second logger of the same name ends before it takes up the note.
    m_logSink->convertFileLeftOpen();
    // Only a running engine takes the beat's timer signal, so a held engine misses its beats.
    m_watchdogBeat = CServiceNotifier::watchdogBeat();
    m_beatEvery = m_watchdogBeat ? std::min(*m_watchdogBeat, kEngineBeatEvery) : kEngineBeatEvery;
    m_status.engineBeat();
    ArmWatchdogBeat();
    m_status.stateChanged(StatusState(GetState()));
    m_diskGuard = std::make_unique<CDiskGuard>(
        std::uint64_t(m_diskLowMb) * kBytesPerMegabyte,
        [this](std::uint64_t freeBytes, const std::string& folder, std::optional<double> daysLeft)
        { ReportDiskLow(freeBytes, folder, daysLeft); });
    m_publisher = std::make_unique<CStatusPublisher>(
        m_status, m_notifier, m_statusPaths,
        [this](const std::string& line) { TraceData("%s", line.c_str()); },
        [guard = m_diskGuard.get()](LoggerSnapshot& snapshot) { guard->check(snapshot); });

    // Dropped when InitJob returns, which cancels it: its line shows the IO thread is running.
    boost::asio::deadline_timer dummy(*m_receivers->context(), boost::posix_time::hours(kDummyTimerHours));
    dummy.async_wait([this](const boost::system::error_code&)
                     { TraceData("\n\tInfo: Dummy timer timed out"); });

    InternalInput(std::make_unique<CZeltSignal>(PZELT_6, this, nullptr, 0));
}

CVelmorControl::~CVelmorControl()
{
    // What the socket already holds was sent before the end: it goes to the file too.
    const std::uint64_t received = m_receivers->stopReceiving();
    TraceData("\n\tInfo: Data receiver stopped after %llu datagrams.",
              static_cast<unsigned long long>(received));

    StopTimer(NEW_FILE_TIMEOUT);
    StopTimer(WAIT_DATA_TIMEOUT);
    StopTimer(WATCHDOG_BEAT);
    // Every datagram received is written before the file closes: the engine ends once it has taken
    // what is queued. A job still running may count a datagram or replace the counter, too.
    StopAfterQueued();
    ReportKernelDrops();
    ReportQueueDrops();
    // No job asks for a read any more; one that another process holds up is not waited for.
    m_parameterReader.reset();
    m_eventCounter.reset();
    // Before the files it must leave alone are out of sight.
    m_retention.reset();

    // The process ends here: the closed files still waiting are converted first, within a bound.
    constexpr std::chrono::seconds kRestOfTheStop{30};
    m_notifier.extendStop(CVelmorConversion::kFinishLimit + kRestOfTheStop);
    m_logSink->stop();
    m_logSink.reset();
    // Its last snapshot shows the conversions' results.
    m_publisher.reset();

    // Messages posted up to the end are recorded now, while the trace can still say what was lost.
    m_messages.drain(kMessageDrainLimit);
    m_messages.setReport({});
    m_tokens.setReport({});

    // The last status sentences may still be on their way: the IO thread gets a moment to send them.
    m_receivers->finish(kLastSendsLimit);

    TraceData("\n\tVelmor terminates.\n");
}

void CVelmorControl::ArmWatchdogBeat()
{
    StartTimer(WATCHDOG_BEAT, static_cast<int32_t>(m_beatEvery.count()));
}

void CVelmorControl::JobWatchdogBeat(SignalPtr&)
{
    TraceJob("JobWatchdogBeat");
    m_status.engineBeat();
    // The service manager hears every beat that falls due for its watchdog, not each of the engine's.
    if (m_watchdogBeat && ++m_beatsSinceAlive >= *m_watchdogBeat / m_beatEvery)
    {
        m_notifier.alive();
        m_beatsSinceAlive = 0;
    }
    ArmWatchdogBeat();
}

void CVelmorControl::StateChanged(int32_t from, int32_t to)
{
    m_status.stateChanged(StatusState(to));
    if (to >= VELMOR_TERMINATED)
    {
        if (from < VELMOR_TERMINATED)
            m_notifier.stopping(stateName(LoggerState::Stopping));
        return;
    }
    // Ready once the ports are bound (InitJob) and the first parameter read has ended either way.
    if (from == VELMOR_DBINIT && !m_readyNotified)
    {
        m_readyNotified = true;
        m_notifier.ready(statusLine(m_status.snapshot()));
        return;
    }
    if (m_publisher)
        m_publisher->changed();
}

LoggerState CVelmorControl::StatusState(int32_t state)
{
    switch (state)
    {
    case VELMOR_IDLE:
    case VELMOR_DBINIT:
        return LoggerState::ReadingParameters;
    case VELMOR_WAIT_LOGGING:
        return LoggerState::WaitingForStart;
    case VELMOR_PREP_LOGGING:
        return LoggerState::Started;
    case VELMOR_ACTIVE_LOGGING:
        return LoggerState::Logging;
    case VELMOR_DBERROR:
        return LoggerState::DatabaseUnreadable;
    default:
        return LoggerState::Stopping;
    }
}

void CVelmorControl::OnDatagram(const char* data, std::uint64_t count)
{
    // A disk slower than the input must not turn every datagram waiting for it into memory.
    std::optional<CFsmBudget::Ticket> room = m_waitingData.Take(count + kQueuedSignalCost);
    if (!room)
    {
        m_status.datagramDropped();
        return;
    }
    // The one copy of the datagram's bytes on its way to the file.
    ExternalInput(CZeltSignal::CopyOf(RAW_DATA, data, static_cast<int32_t>(count), this), std::move(*room));
}

void CVelmorControl::OnCommand(const char* data, std::uint64_t count)
{
    const SuiteProtocol::ParsedSentence parsed =
        SuiteProtocol::parseSentence(data, count, ZeltSig::kNotFromSentences);
    if (!parsed.accepted())
    {
        TraceData("%s", SuiteProtocol::sentenceDropTrace(parsed.drop, data, count).c_str());
        return;
    }
    // One termination gets in whatever waits; any after it would change nothing.
    if (parsed.signal == PZELT_24)
    {
        if (!m_terminationQueued.exchange(true))
            ExternalInput(CZeltSignal::CopyOf(parsed.signal, data, static_cast<int32_t>(count), this));
        return;
    }
    std::optional<CFsmBudget::Ticket> room = m_waitingSentences.Take(count + kQueuedSignalCost);
    if (!room)
    {
        if (m_sentenceDrops.count())
            TraceData("\n\tWARNING: Sentence dropped: %zu bytes of sentences are waiting for the control.",
                      m_waitingSentences.Used());
        return;
    }
    ExternalInput(CZeltSignal::CopyOf(parsed.signal, data, static_cast<int32_t>(count), this),
                  std::move(*room));
}

void CVelmorControl::OnReceiverText(const std::string& text) const
{
    TraceData("%s", text.c_str());
    log4cplus::Logger log = processLog();
    if (log.isEnabledFor(log4cplus::DEBUG_LOG_LEVEL))
        LOG4CPLUS_DEBUG(log, text.c_str());
}

template <void (CVelmorControl::*job)(CVelmorControl::SignalPtr&)>
void CVelmorControl::Guarded(SignalPtr& signal)
{
    try
    {
        (this->*job)(signal);
    }
    catch (const std::exception& error)
    {
        ReportJobFailure(error.what());
    }
    catch (...)
    {
        ReportJobFailure("unknown failure");
    }
}

template <void (CVelmorControl::*job)(CVelmorControl::SignalPtr&)>
void CVelmorControl::Drained(SignalPtr& signal)
{
    TraceJob("JobDrain");
    Guarded<job>(signal);
}

void CVelmorControl::ReportJobFailure(const char* what)
{
    TraceData("\n\tERROR: Job failed: %s", what);
}

unsigned int CVelmorControl::ConversionStation()
{
    constexpr int32_t kHighestStationId = 4095; // 12 bits
    const int32_t station = m_tokens.integer(kTokenStationId);
    if (station >= 0 && station <= kHighestStationId)
        return static_cast<unsigned int>(station);
    TraceData("\n\tWARNING: Token %s is %d, no reference station ID (0-%d):\n\t         reading station 0.",
              kTokenStationId, station, kHighestStationId);
    return 0;
}

Rtcm3::ScanContext CVelmorControl::ConversionContext(std::time_t opened)
{
    Rtcm3::ScanContext context{ConversionStation(), opened};
    context.markerName = m_tokens.text(kTokenMarkerName);
    context.markerNumber = m_tokens.text(kTokenMarkerNumber);
    context.observer = m_tokens.text(kTokenObserver);
    context.agency = m_tokens.text(kTokenAgency);
    context.archiveDirectory = m_tokens.text(kTokenArchiveDir);
    if (!context.archiveDirectory.empty())
    {
        context.monumentReceiver = m_tokens.text(kTokenMonumentReceiver);
        context.country = m_tokens.text(kTokenCountry);
        context.archiveIntervalS = m_tokens.integer(kTokenArchiveInterval);
    }
    return context;
}
