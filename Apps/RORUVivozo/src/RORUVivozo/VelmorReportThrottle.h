// Which failures of a run the operator is told of: a disk that is full fails every datagram, and the
// first failure and every n-th after it are enough to tell.
#pragma once

#include <cstdint>

class CReportThrottle
{
public:
    explicit constexpr CReportThrottle(int32_t every) : m_every(every > 0 ? every : 1) {}

    // Counts one failure; true when it is to be reported. The count goes round, never over.
    bool count()
    {
        const bool report = m_count == 0;
        m_count = (m_count + 1) % m_every;
        return report;
    }

    // After a success the next failure is reported again.
    void reset() { m_count = 0; }

private:
    int32_t m_every;
    int32_t m_count = 0;
};
