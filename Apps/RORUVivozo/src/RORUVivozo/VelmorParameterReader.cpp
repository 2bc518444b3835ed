// The parameter reader's thread; it shares its source with a read left behind at the end of the process.
#include "RORUVivozo/VelmorParameterReader.h"

#include "RORUVivozo/VelmorServices.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

struct CParameterReader::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Request> requests;
    bool closed = false;
    bool reading = false;
    Request current{};       // the read under way
    bool superseded = false; // a request like it came while it ran: the next read answers both
    Done done;
    std::shared_ptr<CVelmorParameterSource> source;
};

CParameterReader::CParameterReader(std::shared_ptr<CVelmorParameterSource> source, Done done)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->source = std::move(source);
    m_shared->done = std::move(done);
    m_thread = std::thread(&CParameterReader::run, m_shared);
}

CParameterReader::~CParameterReader()
{
    bool reading = false;
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->closed = true;
        m_shared->done = nullptr;
        reading = m_shared->reading;
    }
    m_shared->changed.notify_all();
    if (reading)
        m_thread.detach();
    else
        m_thread.join();
}

void CParameterReader::request(const Request& request)
{
    {
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        Request asked = request;
        // A read under way may have begun before what this request is to see.
        if (m_shared->reading && m_shared->current.failureSignal == asked.failureSignal)
        {
            m_shared->superseded = true;
            asked.reportFailure = asked.reportFailure || m_shared->current.reportFailure;
        }
        // A read that has not begun yet sees whatever a later request would: a storm of rereads is one.
        const auto waiting =
            std::find_if(m_shared->requests.begin(), m_shared->requests.end(),
                         [&](const Request& queued) { return queued.failureSignal == asked.failureSignal; });
        if (waiting != m_shared->requests.end())
        {
            waiting->reportFailure = waiting->reportFailure || asked.reportFailure;
            return;
        }
        m_shared->requests.push_back(asked);
    }
    m_shared->changed.notify_one();
}

void CParameterReader::run(const std::shared_ptr<Shared>& shared)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;)
    {
        shared->changed.wait(lock, [&] { return shared->closed || !shared->requests.empty(); });
        if (shared->closed)
            return;
        const Request request = shared->requests.front();
        shared->requests.pop_front();
        shared->reading = true;
        shared->current = request;
        shared->superseded = false;
        lock.unlock();

        const std::optional<ParameterRow> row = shared->source->read();

        lock.lock();
        shared->reading = false;
        // Under the lock: once the owner has gone, nothing more is told.
        if (shared->done && !shared->superseded)
            shared->done(row ? &*row : nullptr, request);
    }
}
