// What the logger has done since it started, recorded by each thread and read as one snapshot.
#include "RORUVivozo/VelmorStatus.h"

#include <algorithm>

const char* stateName(LoggerState state)
{
    switch (state)
    {
    case LoggerState::Starting:
        return "starting";
    case LoggerState::ReadingParameters:
        return "reading parameters";
    case LoggerState::WaitingForStart:
        return "waiting for a start";
    case LoggerState::Started:
        return "started, waiting for data";
    case LoggerState::Logging:
        return "logging";
    case LoggerState::DatabaseUnreadable:
        return "database unreadable, retrying";
    case LoggerState::Stopping:
        return "stopping";
    }
    return "unknown";
}

CLoggerStatus::CLoggerStatus()
{
    m_rest.started = Clock::now();
    engineBeat();
}

void CLoggerStatus::awaitingData(std::chrono::seconds maxWait)
{
    m_awaitingSince.store(Steady::now().time_since_epoch().count(), std::memory_order_relaxed);
    std::lock_guard<std::mutex> guard(m_lock);
    m_maxWait = maxWait;
}

void CLoggerStatus::fileOpened(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_rest.file = path;
    m_rest.logFolder = path.substr(0, path.find_last_of(":\\/") + 1);
    m_rest.fileOpened = Clock::now();
    ++m_rest.files;
    // Only the engine thread writes datagrams and opens files, so no datagram falls between these.
    m_datagramsAtOpen = m_datagrams.load(std::memory_order_relaxed);
    m_bytesAtOpen = m_bytes.load(std::memory_order_relaxed);
}

void CLoggerStatus::fileClosed()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_rest.file.reset();
}

void CLoggerStatus::stateChanged(LoggerState state)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_rest.state = state;
}

void CLoggerStatus::messagesKnown(std::initializer_list<int> numbers)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const int number : numbers)
        m_rest.messages.try_emplace(number, 0);
}

CLoggerStatus::MessageText CLoggerStatus::messagePosted(int number)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_rest.messages[number];
    }
    std::lock_guard<std::mutex> guard(m_recent->lock);
    const std::uint64_t id = ++m_recent->posted;
    m_recent->newestFirst.push_front({id, {number, Clock::now(), {}}});
    if (m_recent->newestFirst.size() > kRecentMessages)
        m_recent->newestFirst.pop_back();
    // The poster forms the text on a thread of its own, after the post and perhaps after the status.
    return [recent = m_recent, id](const std::string& text)
    {
        std::lock_guard<std::mutex> guard(recent->lock);
        for (auto& [posted, message] : recent->newestFirst)
            if (posted == id)
                message.text = text;
    };
}

void CLoggerStatus::kernelDrops(std::uint64_t total)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_rest.kernelDrops = total;
}

void CLoggerStatus::syncFailed()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_rest.syncFailures;
}

void CLoggerStatus::conversionQueued()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_rest.conversionsWaiting;
}

void CLoggerStatus::conversionEnded(const std::string& path, ConversionResult result,
                                    const ConversionFiles& files)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_rest.conversionsWaiting > 0)
        --m_rest.conversionsWaiting;
    ++m_rest.conversions[result];
    m_rest.recentConversions.push_front({path, result, Clock::now(), files});
    if (m_rest.recentConversions.size() > kRecentConversions)
        m_rest.recentConversions.pop_back();
}

void CLoggerStatus::retentionRan(const RetentionSummary& summary)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_rest.retention = summary;
}

LoggerSnapshot CLoggerStatus::snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    LoggerSnapshot snapshot = m_rest;
    snapshot.taken = Clock::now();
    snapshot.datagrams = m_datagrams.load(std::memory_order_relaxed);
    snapshot.bytes = m_bytes.load(std::memory_order_relaxed);
    snapshot.queueDrops = queueDrops();
    if (snapshot.file)
    {
        // A file opened after the counts were read shows none yet rather than a wrapped count.
        snapshot.fileDatagrams =
            snapshot.datagrams >= m_datagramsAtOpen ? snapshot.datagrams - m_datagramsAtOpen : 0;
        snapshot.fileBytes = snapshot.bytes >= m_bytesAtOpen ? snapshot.bytes - m_bytesAtOpen : 0;
    }
    const auto steady = [](const std::atomic<Steady::rep>& at)
    { return Steady::time_point(Steady::duration(at.load(std::memory_order_relaxed))); };
    snapshot.takenSteady = Steady::now();
    const Clock::rep written = m_lastWritten.load(std::memory_order_relaxed);
    if (written != 0)
        snapshot.lastDatagram = LoggerSnapshot::LastDatagram{
            Clock::time_point(Clock::duration(written)), snapshot.takenSteady - steady(m_lastWrittenSteady)};
    if (snapshot.state == LoggerState::Started || snapshot.state == LoggerState::Logging)
    {
        const auto silence = snapshot.takenSteady - std::max(steady(m_lastArrival), steady(m_awaitingSince));
        if (silence > m_maxWait)
            snapshot.noDataFor = silence;
    }
    snapshot.engineBeat = steady(m_engineBeat);
    // Stopping, the engine has ended its work and beats no more.
    snapshot.engineStuck =
        snapshot.state != LoggerState::Stopping && snapshot.takenSteady - snapshot.engineBeat >= kStuckAfter;
    {
        std::lock_guard<std::mutex> recentGuard(m_recent->lock);
        for (const auto& [posted, message] : m_recent->newestFirst)
            snapshot.recentMessages.push_back(message);
    }
    return snapshot;
}
