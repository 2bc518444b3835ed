// Tells the service manager how a service is doing, from a thread of the notifier's own.
#include "ServiceNotifier/ServiceNotifier.h"

#include <pthread.h>
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace
{

void sendAll(const std::shared_ptr<CServiceNotifier::Outbox>& outbox)
{
    pthread_setname_np(pthread_self(), "notify");
    std::unique_lock<std::mutex> lock(outbox->lock);
    for (;;)
    {
        outbox->changed.wait(lock, [&] { return outbox->closing || !outbox->messages.empty(); });
        if (outbox->messages.empty())
            return;
        const std::string message = std::move(outbox->messages.front());
        outbox->messages.pop_front();
        outbox->sending = true;
        lock.unlock();
        // A socket that names nothing or has gone only makes this fail; one that is not read blocks it.
        (void)sd_notify(0, message.c_str());
        lock.lock();
        outbox->sending = false;
        outbox->changed.notify_all();
    }
}

} // namespace

CServiceNotifier::CServiceNotifier()
{
    const char* socket = std::getenv("NOTIFY_SOCKET");
    if (socket == nullptr || *socket == '\0')
        return;
    m_outbox = std::make_shared<Outbox>();
    std::thread([outbox = m_outbox] { sendAll(outbox); }).detach();
}

CServiceNotifier::~CServiceNotifier()
{
    if (!m_outbox)
        return;
    std::unique_lock<std::mutex> lock(m_outbox->lock);
    m_outbox->closing = true;
    m_outbox->changed.notify_all();
    // The sender ends once all is sent; one stuck on a manager that does not read is left to the exit.
    m_outbox->changed.wait_for(lock, kLastMessagesLimit,
                               [&] { return m_outbox->messages.empty() && !m_outbox->sending; });
}

std::optional<std::chrono::milliseconds> CServiceNotifier::watchdogBeat()
{
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return std::nullopt;
    // Half the interval: one late beat is not yet a missed one.
    const auto half =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(usec / 2));
    return std::max(half, std::chrono::milliseconds(1));
}

void CServiceNotifier::ready(const std::string& state)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_lastState = state;
    post("READY=1\nSTATUS=" + state);
}

void CServiceNotifier::state(const std::string& state)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    if (state == m_lastState)
        return;
    m_lastState = state;
    post("STATUS=" + state);
}

void CServiceNotifier::stopping(const std::string& state)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_lastState = state;
    post("STOPPING=1\nSTATUS=" + state);
}

void CServiceNotifier::extendStop(std::chrono::microseconds more)
{
    post("EXTEND_TIMEOUT_USEC=" + std::to_string(more.count()));
}

void CServiceNotifier::alive()
{
    post("WATCHDOG=1");
}

void CServiceNotifier::post(std::string message)
{
    if (!m_outbox)
        return;
    std::lock_guard<std::mutex> guard(m_outbox->lock);
    // READY=1 and STOPPING=1 stay: a status line or a beat is soon followed by a fresher one.
    std::deque<std::string>& messages = m_outbox->messages;
    if (messages.size() >= kQueueLimit)
    {
        const auto stale = std::find_if(messages.begin(), messages.end(),
                                        [](const std::string& waiting) {
                                            return waiting.starts_with("STATUS=") || waiting == "WATCHDOG=1";
                                        });
        messages.erase(stale != messages.end() ? stale : messages.begin());
    }
    m_outbox->messages.push_back(std::move(message));
    m_outbox->changed.notify_all();
}
