#include "RORUVivozo/VelmorStatus.h"

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
}

void CLoggerStatus::fileOpened(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_rest.file = path;
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

void CLoggerStatus::messagePosted(int number)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_rest.messages[number];
    m_rest.recentMessages.push_front({number, Clock::now()});
    if (m_rest.recentMessages.size() > kRecentMessages)
        m_rest.recentMessages.pop_back();
}

void CLoggerStatus::kernelDrops(std::uint64_t total)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_rest.kernelDrops = total;
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
    m_rest.lastConversion = LoggerSnapshot::Conversion{path, result, Clock::now(), files};
    m_rest.recentConversions.push_front(*m_rest.lastConversion);
    if (m_rest.recentConversions.size() > kRecentConversions)
        m_rest.recentConversions.pop_back();
}

LoggerSnapshot CLoggerStatus::snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    LoggerSnapshot snapshot = m_rest;
    snapshot.taken = Clock::now();
    snapshot.datagrams = m_datagrams.load(std::memory_order_relaxed);
    snapshot.bytes = m_bytes.load(std::memory_order_relaxed);
    if (snapshot.file)
    {
        // A file opened after the counts were read shows none yet rather than a wrapped count.
        snapshot.fileDatagrams =
            snapshot.datagrams >= m_datagramsAtOpen ? snapshot.datagrams - m_datagramsAtOpen : 0;
        snapshot.fileBytes = snapshot.bytes >= m_bytesAtOpen ? snapshot.bytes - m_bytesAtOpen : 0;
    }
    const Clock::rep last = m_lastDatagram.load(std::memory_order_relaxed);
    if (last != 0)
        snapshot.lastDatagram = Clock::time_point(Clock::duration(last));
    return snapshot;
}
