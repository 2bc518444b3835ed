// A child process leading its own process group, ended as a whole and always reaped.
#include "Platform/ProcessGroup.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

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

ProcessGroup startGroupLeader(const std::vector<std::string>& argv, const StandardStreams& streams,
                              int& error)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    const int own[] = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    const int given[] = {streams.in, streams.out, streams.err};
    for (int stream = 0; stream < 3; ++stream)
    {
        if (given[stream] >= 0)
            posix_spawn_file_actions_adddup2(&actions, given[stream], own[stream]);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // A group of its own, to be ended whole; what this process blocks or ignores is not the program's.
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> arguments;
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    pid_t pid = -1;
    error = argv.empty()
                ? EINVAL
                : ::posix_spawnp(&pid, arguments[0], &actions, &attributes, arguments.data(), environ);
    if (error != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return ProcessGroup(pid);
}

} // namespace Platform
