// Once a second, from a thread of its own: the status line and the status file.
#include "BridgePublisher.h"

#include "BridgeStatusText.h"

#include "Platform/ReplaceFile.h"

#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

BridgePublisher::BridgePublisher(const BridgeStatus& status, CServiceNotifier& notifier,
                                 std::string statusPath)
    : m_status(status), m_notifier(notifier), m_statusPath(std::move(statusPath))
{
    m_thread = std::thread([this] { run(); });
}

BridgePublisher::~BridgePublisher()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

std::string BridgePublisher::line() const
{
    return bridgeStatusLine(m_status.taken());
}

void BridgePublisher::run()
{
    pthread_setname_np(pthread_self(), "status");
    for (bool stopping = false;;)
    {
        publish();
        if (stopping)
            return;
        std::unique_lock<std::mutex> lock(m_lock);
        stopping = m_wake.wait_for(lock, kEvery, [this] { return m_stopping; });
    }
}

void BridgePublisher::publish()
{
    const BridgeState state = m_status.taken();
    const std::string line = bridgeStatusLine(state);
    m_notifier.state(line);
    if (m_statusPath.empty())
        return;
    const int error = Platform::replaceFile(m_statusPath, bridgeStatusJson(state, line, ::getpid()));
    if (error != 0 && !m_writeFailing)
        std::cerr << "rtcmbridge: not able to write " << m_statusPath << ": " << std::strerror(error)
                  << "; bridging goes on without it" << std::endl;
    else if (error == 0 && m_writeFailing)
        std::cerr << "rtcmbridge: writing " << m_statusPath << " again" << std::endl;
    m_writeFailing = error != 0;
}
