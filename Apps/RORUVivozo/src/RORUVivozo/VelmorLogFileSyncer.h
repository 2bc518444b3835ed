// Forces the log file's data to disk about once a second while data arrives, and a directory's new
// entries at once, on a thread of its own: a datagram never waits for the disk.
#pragma once

#include "Platform/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CLogFileSyncer
{
public:
    using Clock = std::chrono::steady_clock;
    // How much data a power cut may take: what arrived since the last sync.
    static constexpr Clock::duration kPeriod = std::chrono::seconds(1);

    CLogFileSyncer();
    // Syncs the directories still waiting, then ends the thread.
    ~CLogFileSyncer();
    CLogFileSyncer(const CLogFileSyncer&) = delete;
    CLogFileSyncer& operator=(const CLogFileSyncer&) = delete;

    // The file written from now on. A copy of the descriptor is kept, so the owner closes its own at will.
    void follow(int fd);
    // The file is closing; its owner syncs it itself.
    void forget();
    // Bytes were written to the file; the next pass syncs them. Takes no lock: it is on the datagram path.
    void written() noexcept { m_dirty.store(true, std::memory_order_release); }
    // A directory that got or lost an entry (a copy of the descriptor); synced at once.
    void syncDirectory(int fd);

private:
    void run();

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::shared_ptr<Platform::UniqueFd> m_file; // shared with a sync in progress
    std::vector<Platform::UniqueFd> m_directories;
    std::atomic<bool> m_dirty{false};
    std::thread m_thread;
};
