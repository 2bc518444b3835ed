// Forces the log files to disk on a thread of its own: the open file about once a second while data
// arrives, closed files and directories at once.
#include "RORUVivozo/VelmorLogFileSyncer.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace
{

Platform::UniqueFd duplicate(int fd)
{
    return Platform::UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

} // namespace

CLogFileSyncer::CLogFileSyncer(Failed failed) : m_failed(std::move(failed)), m_thread([this] { run(); }) {}

CLogFileSyncer::~CLogFileSyncer()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CLogFileSyncer::follow(int fd, const std::string& path)
{
    auto file = std::make_shared<Followed>(Followed{duplicate(fd), path});
    std::lock_guard<std::mutex> guard(m_lock);
    m_dirty.store(false);
    m_file = std::move(file);
}

void CLogFileSyncer::forget()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_file.reset();
    m_dirty.store(false);
}

void CLogFileSyncer::syncDirectory(int fd)
{
    auto directory = std::make_shared<Platform::UniqueFd>(duplicate(fd));
    if (*directory)
        then([directory] { ::fsync(directory->get()); });
}

std::shared_future<bool> CLogFileSyncer::close(Platform::UniqueFd file, const std::string& path)
{
    auto closing = std::make_shared<Followed>(Followed{std::move(file), path});
    auto done = std::make_shared<std::promise<bool>>();
    std::shared_future<bool> onDisk = done->get_future().share();
    then(
        [this, closing, done]
        {
            bool synced = syncData(closing->fd.get(), closing->path);
            if (::close(closing->fd.release()) != 0)
            {
                synced = false;
                if (m_failed)
                    m_failed(closing->path, errno, true);
            }
            done->set_value(synced);
        });
    return onDisk;
}

void CLogFileSyncer::then(std::function<void()> step)
{
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_room.wait(lock, [this] { return m_steps.size() < kMaxSteps; });
        m_steps.push_back(std::move(step));
    }
    m_wake.notify_one();
}

bool CLogFileSyncer::syncData(int fd, const std::string& path)
{
    if (::fdatasync(fd) == 0 || errno == EINVAL)
        return true;
    // The kernel has given up the pages it could not write: what the logger wrote may be gone.
    if (m_failed)
        m_failed(path, errno, false);
    return false;
}

void CLogFileSyncer::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    Clock::time_point due = Clock::now() + kPeriod;
    for (;;)
    {
        m_wake.wait_until(lock, due, [this] { return m_stopping || !m_steps.empty(); });
        std::deque<std::function<void()>> steps = std::move(m_steps);
        m_steps.clear();
        std::shared_ptr<Followed> file = Clock::now() >= due ? m_file : nullptr;
        const bool stopping = m_stopping;
        // No lock while the disk works: the owner never waits for a sync.
        lock.unlock();
        m_room.notify_all();
        for (const std::function<void()>& step : steps)
            step();
        if (file && m_dirty.exchange(false, std::memory_order_acq_rel))
            syncData(file->fd.get(), file->path);
        // The last holder of a forgotten file's copy closes it, here rather than on the owner's thread.
        file.reset();
        steps.clear();
        lock.lock();
        if (stopping && m_steps.empty())
            return;
        if (Clock::now() >= due)
            due = Clock::now() + kPeriod;
    }
}
