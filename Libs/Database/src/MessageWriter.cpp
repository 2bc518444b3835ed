// The poster's writer thread: a bounded queue of posted messages, recorded one at a time, each statement
// tried again while another process holds the database.
#include "Database/Messages.h"

#include "Database/DBoperations.h"

#include <fmt/printf.h>

#include <algorithm>

using Clock = std::chrono::steady_clock;

CMessages::~CMessages()
{
    stopWriter(std::chrono::seconds(2));
}

void CMessages::setReport(Report report)
{
    m_report = std::move(report);
}

void CMessages::report(const std::string& line) const
{
    if (m_report)
        m_report(line);
}

void CMessages::startWriter()
{
    const std::lock_guard<std::mutex> lock(m_queueMutex);
    if (m_writerRunning)
        return;
    m_writerRunning = true;
    m_stopping = false;
    // The thread's first step takes the lock held here, so it never sees m_writerId unset.
    m_writer = std::thread([this] { writerLoop(); });
    m_writerId = m_writer.get_id();
}

bool CMessages::writerRunning() const
{
    const std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_writerRunning;
}

void CMessages::stopWriter(std::chrono::milliseconds drainLimit)
{
    {
        const std::lock_guard<std::mutex> lock(m_queueMutex);
        if (!m_writerRunning)
            return;
        m_stopping = true;
        m_drainDeadline = Clock::now() + drainLimit;
    }
    m_queueChanged.notify_all();
    m_writer.join();

    std::deque<Pending> late;
    {
        const std::lock_guard<std::mutex> lock(m_queueMutex);
        m_writerRunning = false;
        m_stopping = false;
        m_writerId = std::thread::id();
        late.swap(m_queue);
    }
    // Posted while the writer was ending: recorded here, as without a writer.
    for (const Pending& message : late)
        record(message);
}

void CMessages::post(Pending message)
{
    currentTime(message.date, message.hhmmss, message.milliseconds);
    std::unique_lock<std::mutex> lock(m_queueMutex);
    if (!m_writerRunning)
    {
        lock.unlock();
        record(message);
        return;
    }
    if (m_queue.size() >= maxPending)
    {
        const std::size_t waiting = m_queue.size();
        lock.unlock();
        report(
            fmt::sprintf("\n\tERROR: Operator message %d dropped: %d messages already wait for the database.",
                         message.number, static_cast<int>(waiting)));
        return;
    }
    m_queue.push_back(std::move(message));
    lock.unlock();
    m_queueChanged.notify_one();
}

void CMessages::writerLoop()
{
    for (;;)
    {
        Pending message;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
            if (m_queue.empty())
                return;
            if (m_stopping && Clock::now() >= m_drainDeadline)
            {
                // Out of time at the end of the process: say what is lost instead of waiting on.
                std::deque<Pending> lost;
                lost.swap(m_queue);
                lock.unlock();
                for (const Pending& dropped : lost)
                    report(fmt::sprintf("\n\tERROR: Operator message %d dropped at termination: the database "
                                        "stayed busy.",
                                        dropped.number));
                return;
            }
            message = std::move(m_queue.front());
            m_queue.pop_front();
        }
        record(message);
    }
}

bool CMessages::waitBeforeRetry()
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    // Without the writer the post is on the caller's thread, which must not wait.
    if (std::this_thread::get_id() != m_writerId)
        return false;
    const bool wasStopping = m_stopping;
    Clock::time_point until = Clock::now() + busyRetryPause;
    if (wasStopping)
        until = std::min(until, m_drainDeadline);
    m_queueChanged.wait_until(lock, until, [&] { return m_stopping != wasStopping; });
    return !m_stopping || Clock::now() < m_drainDeadline;
}

CMessages::Attempt CMessages::untilNotBusy(const std::function<bool()>& statement)
{
    for (;;)
    {
        bool busy = false;
        {
            const auto hold = m_database->exclusive();
            if (statement())
                return Attempt::Done;
            busy = m_database->lastFailureBusy();
        }
        if (!busy)
            return Attempt::Failed;
        if (!waitBeforeRetry())
            return Attempt::GaveUp;
    }
}
