// Retention: a thread of its own runs a pass at start and once a day.
#include "RORUVivozo/VelmorRetention.h"

#include "RORUVivozo/VelmorLogFilePattern.h"
#include "RORUVivozo/VelmorRetentionPass.h"

#include <pthread.h>

CRetention::CRetention(int days, InUse inUse, Report report, CLoggerStatus& status)
    : m_days(days), m_inUse(std::move(inUse)), m_report(std::move(report)), m_status(status)
{
    m_thread = std::thread([this] { run(); });
}

CRetention::~CRetention()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CRetention::patterns(const std::string& directory, const std::string& name)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_patterns.emplace(directory, name);
        if (m_due)
            return;
        m_due = std::chrono::steady_clock::now();
    }
    m_wake.notify_one();
}

void CRetention::run()
{
    pthread_setname_np(pthread_self(), "retention");
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;)
    {
        m_wake.wait(lock, [this] { return m_stopping || m_due.has_value(); });
        // Once a day on the monotonic clock: a step of the wall clock neither skips a pass nor adds one.
        if (m_stopping || m_wake.wait_until(lock, *m_due, [this] { return m_stopping.load(); }))
            return;
        const auto [directory, name] = *m_patterns;
        m_due = std::chrono::steady_clock::now() + kEvery;
        lock.unlock();
        pass(directory, name);
        lock.lock();
    }
}

void CRetention::pass(const std::string& directory, const std::string& name)
{
    const std::optional<CLogFilePattern> pattern = CLogFilePattern::of(directory, name);
    if (!pattern)
    {
        if (m_report)
            m_report("\n\tWARNING: Retention: " + directory + "\\" + name +
                     " is no path the logger logs to; nothing deleted.");
        return;
    }
    m_status.retentionRan(deleteOldLogFiles(*pattern, {m_days, std::chrono::system_clock::now(), m_inUse()},
                                            m_report, m_stopping));
}
