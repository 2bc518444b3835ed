// Forces the log files to disk on a thread of its own: the open file's data about once a second while
// data arrives, a closed file's at once (and closes it), a directory's new entries at once, and whatever
// else its owner hands over in order with them. A datagram never waits for the disk.
#pragma once

#include "Platform/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class CLogFileSyncer
{
public:
    using Clock = std::chrono::steady_clock;
    // How much data a power cut may take: what arrived since the last sync.
    static constexpr Clock::duration kPeriod = std::chrono::seconds(1);
    // Steps handed over and not yet begun. Past this a hand-over waits for room: a disk this far behind
    // is not outrun by holding more.
    static constexpr std::size_t kMaxSteps = 256;
    // A file whose data may not have reached the disk: told on the syncer's thread with the path it was
    // followed or closed with and the errno; closing: its close failed, else its sync.
    using Failed = std::function<void(const std::string& path, int error, bool closing)>;

    explicit CLogFileSyncer(Failed failed = {});
    // Finishes what was handed over, then ends the thread.
    ~CLogFileSyncer();
    CLogFileSyncer(const CLogFileSyncer&) = delete;
    CLogFileSyncer& operator=(const CLogFileSyncer&) = delete;

    // The file written from now on. A copy of the descriptor is kept, so the owner closes its own at will.
    void follow(int fd, const std::string& path);
    // The file is closing; its owner hands it over with close.
    void forget();
    // Bytes were written to the file; the next pass syncs them. Takes no lock: it is on the datagram path.
    void written() noexcept { m_dirty.store(true, std::memory_order_release); }
    // A directory that got or lost an entry (a copy of the descriptor); synced at once.
    void syncDirectory(int fd);
    // A closed file, given up by its owner: synced and closed here at once, in order with the rest.
    // Ready once both are done; true when both succeeded.
    std::shared_future<bool> close(Platform::UniqueFd file, const std::string& path);
    // Runs step on the syncer's thread after everything handed over before it.
    void then(std::function<void()> step);

private:
    void run();
    // The data of a file to disk; false (and told) when it may not be there. A file system that cannot
    // sync (EINVAL) has nothing to lose.
    bool syncData(int fd, const std::string& path);

    struct Followed
    {
        Platform::UniqueFd fd;
        std::string path;
    };

    Failed m_failed;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_room;
    bool m_stopping = false;
    std::shared_ptr<Followed> m_file; // shared with a sync in progress
    std::deque<std::function<void()>> m_steps;
    std::atomic<bool> m_dirty{false};
    std::thread m_thread;
};
