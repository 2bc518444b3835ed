// The poster's writer thread: a bounded queue of posted messages, recorded one at a time; a message that
// cannot be recorded stays first in the queue and is tried again, with growing pauses, until it is recorded
// or, the oldest of a full queue, dropped and reported.
#include "Database/Messages.h"

#include "Database/DBoperations.h"

#include <fmt/printf.h>

#include <algorithm>
#include <cstdio>

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
    m_writer = std::thread([this] { writerLoop(); });
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
        late.swap(m_queue);
    }
    // Posted while the writer was ending: one attempt here, as without a writer.
    for (Pending& message : late)
        if (const std::optional<Failure> failed = attempt(message))
            reportDropped(message, failed->reason);
}

void CMessages::post(Pending message)
{
    currentTime(message.date, message.hhmmss, message.milliseconds);
    std::unique_lock<std::mutex> lock(m_queueMutex);
    if (!m_writerRunning)
    {
        lock.unlock();
        if (const std::optional<Failure> failed = attempt(message))
            reportDropped(message, failed->reason);
        return;
    }
    std::optional<Pending> dropped;
    const bool inHandCounts = m_inHand && !m_dropInHand;
    if (m_queue.size() + (inHandCounts ? 1 : 0) >= maxPending)
    {
        // The oldest goes: the one in the writer's hands once its attempt has failed, else the first.
        if (inHandCounts)
            m_dropInHand = true;
        else
        {
            dropped = std::move(m_queue.front());
            m_queue.pop_front();
        }
    }
    m_queue.push_back(std::move(message));
    lock.unlock();
    m_queueChanged.notify_one();
    if (dropped)
        reportDropped(*dropped, fullQueue());
}

std::string CMessages::fullQueue()
{
    return fmt::sprintf("%d messages wait for the database, and this was the oldest",
                        static_cast<int>(maxPending));
}

void CMessages::writerLoop()
{
    std::chrono::milliseconds pause = firstRetryPause;
    std::unique_lock<std::mutex> lock(m_queueMutex);
    for (;;)
    {
        m_queueChanged.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty())
            return;
        if (m_stopping && Clock::now() >= m_drainDeadline)
        {
            // Out of time at the end of the process: say what is lost instead of waiting on.
            std::deque<Pending> lost;
            lost.swap(m_queue);
            const std::string why = "the writer stopped before it could be recorded" +
                                    (m_lastFailure.empty() ? std::string() : ": " + m_lastFailure);
            lock.unlock();
            for (const Pending& message : lost)
                reportDropped(message, why);
            return;
        }
        Pending message = std::move(m_queue.front());
        m_queue.pop_front();
        m_inHand = true;
        lock.unlock();
        const std::optional<Failure> failed = attempt(message);
        lock.lock();
        m_inHand = false;
        const bool drop = std::exchange(m_dropInHand, false);
        if (!failed)
        {
            pause = firstRetryPause;
            if (std::exchange(m_failing, false))
            {
                lock.unlock();
                report("\n\tInfo: Operator messages are recorded again.");
                lock.lock();
            }
            continue;
        }
        m_lastFailure = failed->reason;
        const int number = message.number;
        if (!drop)
            m_queue.push_front(std::move(message));
        const bool first = !failed->busy && !std::exchange(m_failing, true);
        lock.unlock();
        if (drop)
            reportDropped(message, fullQueue());
        if (first)
            report(
                fmt::sprintf("\n\tWARNING: Operator message %d could not be recorded: %s. It is kept, with "
                             "those that follow, and tried again.",
                             number, failed->reason));
        pauseBeforeRetry(pause);
        pause = std::min(pause * 2, longestRetryPause);
        lock.lock();
    }
}

void CMessages::pauseBeforeRetry(std::chrono::milliseconds pause)
{
    std::unique_lock<std::mutex> lock(m_queueMutex);
    const bool wasStopping = m_stopping;
    Clock::time_point until = Clock::now() + pause;
    if (wasStopping)
        until = std::min(until, m_drainDeadline);
    // A post does not cut the pause short; the end of the process does.
    m_queueChanged.wait_until(lock, until, [&] { return m_stopping != wasStopping; });
}

void CMessages::reportDropped(const Pending& message, const std::string& why)
{
    std::size_t dropped = 0;
    {
        const std::lock_guard<std::mutex> lock(m_queueMutex);
        dropped = ++m_dropped;
    }
    const std::string line =
        fmt::sprintf("Operator message %d of %02d:%02d:%02d.%03d UTC dropped: %s (%d dropped in all).",
                     message.number, message.hhmmss / 10000, message.hhmmss / 100 % 100, message.hhmmss % 100,
                     message.milliseconds, why, static_cast<int>(dropped));
    report("\n\tERROR: " + line);
    std::fprintf(stderr, "%s\n", line.c_str());
}
