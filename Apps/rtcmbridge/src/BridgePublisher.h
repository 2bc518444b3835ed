// Once a second, from a thread of its own: the bridge's status line to the service manager and its status
// file, so that a slow disk never holds up the bridge's loop.
#pragma once

#include "BridgeStatus.h"

#include "ServiceNotifier/ServiceNotifier.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class BridgePublisher
{
public:
    static constexpr std::chrono::seconds kEvery{1};

    // statusPath: native; empty writes no file.
    BridgePublisher(const BridgeStatus& status, CServiceNotifier& notifier, std::string statusPath);
    // Publishes a last time.
    ~BridgePublisher();
    BridgePublisher(const BridgePublisher&) = delete;
    BridgePublisher& operator=(const BridgePublisher&) = delete;

    std::string line() const;

private:
    void run();
    void publish();

    const BridgeStatus& m_status;
    CServiceNotifier& m_notifier;
    const std::string m_statusPath;
    bool m_writeFailing = false;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};
