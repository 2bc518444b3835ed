// Forces the log file's data to disk about once a second while data arrives, and a directory's new
// entries at once, on a thread of its own.
#include "RORUVivozo/VelmorLogFileSyncer.h"

#include <fcntl.h>
#include <unistd.h>

namespace
{

Platform::UniqueFd duplicate(int fd)
{
    return Platform::UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

} // namespace

CLogFileSyncer::CLogFileSyncer() : m_thread([this] { run(); }) {}

CLogFileSyncer::~CLogFileSyncer()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CLogFileSyncer::follow(int fd)
{
    auto file = std::make_shared<Platform::UniqueFd>(duplicate(fd));
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
    Platform::UniqueFd directory = duplicate(fd);
    if (!directory)
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_directories.push_back(std::move(directory));
    }
    m_wake.notify_one();
}

void CLogFileSyncer::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    Clock::time_point due = Clock::now() + kPeriod;
    for (;;)
    {
        m_wake.wait_until(lock, due, [this] { return m_stopping || !m_directories.empty(); });
        std::vector<Platform::UniqueFd> directories = std::move(m_directories);
        m_directories.clear();
        std::shared_ptr<Platform::UniqueFd> file = Clock::now() >= due ? m_file : nullptr;
        const bool stopping = m_stopping;
        // No lock while the disk works: the owner never waits for a sync.
        lock.unlock();
        for (const Platform::UniqueFd& directory : directories)
            ::fsync(directory.get());
        if (file && m_dirty.exchange(false, std::memory_order_acq_rel))
            ::fdatasync(file->get());
        // The last holder of a forgotten file's copy closes it, here rather than on the owner's thread.
        file.reset();
        directories.clear();
        lock.lock();
        if (stopping)
            return;
        if (Clock::now() >= due)
            due = Clock::now() + kPeriod;
    }
}
