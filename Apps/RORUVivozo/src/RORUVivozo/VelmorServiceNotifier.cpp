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
    m_lastState = state;
    send("READY=1\nSTATUS=" + state);
}

void CServiceNotifier::state(const std::string& state)
{
    if (state == m_lastState)
        return;
    m_lastState = state;
    send("STATUS=" + state);
}

void CServiceNotifier::stopping()
{
    m_lastState = "stopping";
    send("STOPPING=1\nSTATUS=stopping");
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
