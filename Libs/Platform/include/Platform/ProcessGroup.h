// A child process that leads a process group of its own: it can be ended together with every program
// it starts, and its owner always reaps it, so that it never lingers as a zombie.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace Platform
{

class ProcessGroup
{
public:
    ProcessGroup() = default;
    // Takes over a child that has made itself the leader of its own group (setpgid(0, 0)).
    explicit ProcessGroup(pid_t leader);
    // Ends the group and reaps the leader if it still runs.
    ~ProcessGroup();
    ProcessGroup(ProcessGroup&& other) noexcept;
    ProcessGroup& operator=(ProcessGroup&& other) noexcept;
    ProcessGroup(const ProcessGroup&) = delete;
    ProcessGroup& operator=(const ProcessGroup&) = delete;

    // A leader that has been started and not yet reaped.
    bool running() const { return m_leader > 0; }
    // The leader's process id, which is also the group's; -1 once reaped.
    pid_t leader() const { return m_leader; }
    // Reaps the leader once it has ended; never blocks. True when nothing runs any more.
    bool ended();
    // Kills every process of the group, then waits at most wait for the leader; true when it was reaped.
    bool end(std::chrono::milliseconds wait);
    // The leader's exit code once it has been reaped after exiting by itself; -1 otherwise.
    int exitCode() const { return m_exitCode; }

private:
    pid_t m_leader = -1;
    int m_exitCode = -1;
};

// What a started program gets as its standard streams: a descriptor each, -1 for this process's own.
struct StandardStreams
{
    int in = -1;
    int out = -1;
    int err = -1;
};

// Starts argv[0], found on the PATH, with argv as the leader of a process group of its own, with no
// descriptor but its standard streams, no signal blocked and SIGPIPE at its default. Not running when
// it could not be started; error then says why (ENOENT: not on the PATH).
ProcessGroup startGroupLeader(const std::vector<std::string>& argv, const StandardStreams& streams,
                              int& error);

} // namespace Platform
