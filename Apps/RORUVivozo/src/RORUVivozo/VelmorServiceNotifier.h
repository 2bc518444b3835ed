// Tells the service manager how the logger is doing: ready, a one-line state, stopping, and the
// engine's heartbeat. Nothing happens where no service manager listens.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

class CServiceNotifier
{
public:
    // The beat's period: half the interval the service manager watches for, or none when it does not.
    static std::optional<std::chrono::milliseconds> watchdogBeat();

    // Each call is one message, from any thread; a manager that is gone or never was is not an error.
    void ready(const std::string& state);
    // Sent only when it differs from the last state sent.
    void state(const std::string& state);
    void stopping();
    // The stop may take this much longer than the manager would wait: the last conversions run.
    void extendStop(std::chrono::microseconds more);
    void alive();

private:
    void send(const std::string& message);

    std::mutex m_lock; // the last state
    std::string m_lastState;
};
