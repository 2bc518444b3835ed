// The status thread: the status line, the snapshot and the metrics, once a second and at every change.
#include "RORUVivozo/VelmorStatusPublisher.h"

#include "Platform/BootClock.h"
#include "Platform/NativePath.h"
#include "Platform/ReplaceFile.h"
#include "RORUVivozo/VelmorStatusText.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

CStatusPublisher::CStatusPublisher(const CLoggerStatus& status, CServiceNotifier& notifier, Paths paths,
                                   Report report, Amend amend)
    : m_status(status), m_notifier(notifier), m_report(std::move(report)),
      m_amend(std::move(amend)), m_snapshot{std::move(paths.snapshot)}, m_metrics{std::move(paths.metrics)},
      m_bootId(Platform::bootId())
{
    m_thread = std::thread([this] { run(); });
}

CStatusPublisher::~CStatusPublisher()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CStatusPublisher::changed()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_changed = true;
    }
    m_wake.notify_one();
}

void CStatusPublisher::run()
{
    pthread_setname_np(pthread_self(), "status");
    auto nextTick = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;)
    {
        m_wake.wait_until(lock, nextTick, [this] { return m_changed || m_stopping; });
        const bool stopping = m_stopping;
        m_changed = false;
        const bool tick = stopping || std::chrono::steady_clock::now() >= nextTick;
        lock.unlock();
        // Files at most once a tick; the status line at every change as well.
        publish(tick);
        if (stopping)
            return;
        if (tick)
            nextTick = std::max(nextTick + kEvery, std::chrono::steady_clock::now());
        lock.lock();
    }
}

LoggerSnapshot CStatusPublisher::withRates(LoggerSnapshot snapshot)
{
    const auto now = std::chrono::steady_clock::now();
    m_readings.push_back({now, snapshot.datagrams, snapshot.bytes});
    while (m_readings.size() > 2 && now - m_readings[1].at >= kRateSpan)
        m_readings.pop_front();
    const Reading& oldest = m_readings.front();
    const double seconds = std::chrono::duration<double>(now - oldest.at).count();
    if (seconds > 0)
    {
        snapshot.datagramsPerSecond = static_cast<double>(snapshot.datagrams - oldest.datagrams) / seconds;
        snapshot.bytesPerSecond = static_cast<double>(snapshot.bytes - oldest.bytes) / seconds;
    }
    if (m_rateHistory.empty() || now - m_rateHistory.back().at >= kRateSpan)
        m_rateHistory.push_back({now, snapshot.datagramsPerSecond});
    while (now - m_rateHistory.front().at > kRateHistorySpan)
        m_rateHistory.pop_front();
    snapshot.rateHistory = m_rateHistory;
    return snapshot;
}

void CStatusPublisher::publish(bool files)
{
    LoggerSnapshot snapshot = withRates(m_status.snapshot());
    if (m_amend)
        m_amend(snapshot);
    const std::string line = statusLine(snapshot);
    m_notifier.state(line);
    if (!files)
        return;
    if (!m_snapshot.path.empty())
        replace(m_snapshot, statusJson(snapshot, line, ::getpid(), m_bootId));
    if (!m_metrics.path.empty())
        replace(m_metrics, statusMetrics(snapshot));
}

void CStatusPublisher::replace(Output& output, const std::string& text)
{
    const std::filesystem::path path = Platform::nativePath(output.path);
    int error = Platform::replaceFile(path.string(), text);
    if (error == ENOENT)
    {
        // The folder is made at the first write, or again should someone have removed it.
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        error = Platform::replaceFile(path.string(), text);
    }
    // One line when writing starts failing and one when it works again: logging goes on either way.
    if (error != 0 && !output.failing && m_report)
        m_report("\n\tWARNING: Not able to write " + output.path + ": " + std::strerror(error) +
                 ". Logging goes on without it.");
    else if (error == 0 && output.failing && m_report)
        m_report("\n\tInfo: Writing " + output.path + " again.");
    output.failing = error != 0;
}
