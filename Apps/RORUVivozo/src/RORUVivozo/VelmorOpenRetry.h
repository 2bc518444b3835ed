// After a failed open the logger keeps its parameters and tries again on a later datagram, at most once
// a second, until a file opens or the operator stops or restarts logging.
#pragma once

#include <chrono>

class COpenRetry
{
public:
    using Clock = std::chrono::steady_clock;

    // A second between tries: enough to pick up a directory made writable again, without turning every
    // datagram of a burst into a file-system call.
    static constexpr Clock::duration kInterval = std::chrono::seconds(1);

    // The open just failed: the next try is due a second from now.
    void failed(Clock::time_point now = Clock::now())
    {
        m_pending = true;
        m_lastTry = now;
    }
    // A file opened, or the operator stopped or restarted logging.
    void clear() { m_pending = false; }

    bool pending() const { return m_pending; }
    bool due(Clock::time_point now = Clock::now()) const { return m_pending && now - m_lastTry >= kInterval; }

private:
    bool m_pending = false;
    Clock::time_point m_lastTry{};
};
