// Datagrams the kernel dropped before the logger could read them (a full receive buffer): each
// periodic check tells what is new since the last, the operator at most once a minute.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

class CKernelDrops
{
public:
    using Clock = std::chrono::steady_clock;

    // The operator is told at most this often, however long the drops go on.
    static constexpr Clock::duration kMessageEvery = std::chrono::minutes(1);

    struct Due
    {
        std::uint64_t sinceLastCheck = 0;
        std::uint64_t total = 0;
        std::uint64_t forTheOperator = 0; // not yet in a message; 0 when no message is due
    };

    // Takes the receiver's running count of drops.
    Due check(std::uint64_t total, Clock::time_point now = Clock::now())
    {
        Due due;
        due.total = total;
        // A count that went back (a counter that wrapped) starts afresh rather than reporting billions.
        due.sinceLastCheck = total >= m_seen ? total - m_seen : 0;
        m_seen = total;
        m_untold += due.sinceLastCheck;
        if (m_untold != 0 && (!m_lastMessage || now - *m_lastMessage >= kMessageEvery))
        {
            due.forTheOperator = m_untold;
            m_untold = 0;
            m_lastMessage = now;
        }
        return due;
    }

private:
    std::uint64_t m_seen = 0;
    std::uint64_t m_untold = 0;
    std::optional<Clock::time_point> m_lastMessage;
};
