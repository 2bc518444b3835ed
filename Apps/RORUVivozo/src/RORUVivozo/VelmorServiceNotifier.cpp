#include "RORUVivozo/VelmorServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

#include <cstdint>

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
    std::lock_guard<std::mutex> guard(m_lock);
    m_lastState = state;
    send("READY=1\nSTATUS=" + state);
}

void CServiceNotifier::state(const std::string& state)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (state == m_lastState)
        return;
    m_lastState = state;
    send("STATUS=" + state);
}

void CServiceNotifier::stopping()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lastState = "stopping";
    send("STOPPING=1\nSTATUS=stopping");
}

void CServiceNotifier::extendStop(std::chrono::microseconds more)
{
    send("EXTEND_TIMEOUT_USEC=" + std::to_string(more.count()));
}

void CServiceNotifier::alive()
{
    send("WATCHDOG=1");
}

void CServiceNotifier::send(const std::string& message)
{
    // A socket that names nothing or has gone only makes this fail: the logger goes on without it.
    (void)sd_notify(0, message.c_str());
}
