// Tells the service manager how a service (the logger, the bridge) is doing: ready, a one-line state,
// stopping, and the heartbeat of its main loop. Nothing happens where no service manager listens. A manager
// that does not read its socket would block a sender: messages go out from a thread of the notifier's own, so
// no caller ever waits for one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CServiceNotifier
{
public:
    // Beyond this many waiting messages the oldest status line or beat is dropped.
    static constexpr std::size_t kQueueLimit = 64;
    // How long the end waits for the last messages to go out.
    static constexpr std::chrono::seconds kLastMessagesLimit{1};

    CServiceNotifier();
    ~CServiceNotifier();
    CServiceNotifier(const CServiceNotifier&) = delete;
    CServiceNotifier& operator=(const CServiceNotifier&) = delete;

    // The beat's period: half the interval the service manager watches for, or none when it does not.
    static std::optional<std::chrono::milliseconds> watchdogBeat();

    // Each call is one message, from any thread; a manager that is gone or never was is not an error.
    void ready(const std::string& state);
    // Sent only when it differs from the last state sent.
    void state(const std::string& state);
    void stopping(const std::string& state);
    // The stop may take this much longer than the manager would wait (the logger's last conversions).
    void extendStop(std::chrono::microseconds more);
    void alive();

    // What the sender thread shares with the notifier; it outlives a notifier whose end found the
    // sender stuck.
    struct Outbox
    {
        std::mutex lock;
        std::condition_variable changed;
        std::deque<std::string> messages;
        bool sending = false;
        bool closing = false;
    };

private:
    void post(std::string message);

    std::shared_ptr<Outbox> m_outbox; // none where no manager listens
    std::mutex m_stateLock;
    std::string m_lastState;
};
