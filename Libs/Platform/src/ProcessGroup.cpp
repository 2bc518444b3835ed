// A child process leading its own process group, ended as a whole and always reaped.
#include "Platform/ProcessGroup.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <utility>

namespace Platform
{

namespace
{

// An ended program is reaped within moments; this is how often its owner looks.
constexpr std::chrono::milliseconds kReapPoll{10};
// What the destructor grants a killed group: a process stuck in the kernel is left to init then.
constexpr std::chrono::milliseconds kDestructorWait{1000};

} // namespace

ProcessGroup::ProcessGroup(pid_t leader) : m_leader(leader)
{
    // Also from this side, so that the group exists before anyone may signal it.
    if (m_leader > 0)
        ::setpgid(m_leader, m_leader);
}

ProcessGroup::~ProcessGroup()
{
    end(kDestructorWait);
}

ProcessGroup::ProcessGroup(ProcessGroup&& other) noexcept
    : m_leader(std::exchange(other.m_leader, -1)), m_exitCode(std::exchange(other.m_exitCode, -1))
{
}

ProcessGroup& ProcessGroup::operator=(ProcessGroup&& other) noexcept
{
    if (this != &other)
    {
        end(kDestructorWait);
        m_leader = std::exchange(other.m_leader, -1);
        m_exitCode = std::exchange(other.m_exitCode, -1);
    }
    return *this;
}

bool ProcessGroup::ended()
{
    if (m_leader <= 0)
        return true;
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(m_leader, &status, WNOHANG)) < 0 && errno == EINTR)
    {
    }
    // ECHILD: someone else reaped it; nothing of ours runs under that number any more.
    if (reaped == m_leader && WIFEXITED(status))
        m_exitCode = WEXITSTATUS(status);
    if (reaped == m_leader || reaped < 0)
        m_leader = -1;
    return m_leader <= 0;
}

bool ProcessGroup::end(std::chrono::milliseconds wait)
{
    if (ended())
        return true;
    // The group id stays ours while the leader is unreaped, so this reaches no stranger.
    ::kill(-m_leader, SIGKILL);
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!ended() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kReapPoll);
    return m_leader <= 0;
}

} // namespace Platform
