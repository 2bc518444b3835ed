// Adopting the orphans of the programs this process starts, and ending them by name.
#include "Platform/Orphans.h"

#include "Platform/DecimalText.h"

#include <dirent.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

namespace Platform
{

namespace
{

// An ended program is reaped within moments; this is how often its orphans are looked for again.
constexpr std::chrono::milliseconds kSweepPoll{10};

struct ProcessState
{
    Program program;
    char state = '?';
    pid_t parent = -1;
    pid_t group = -1;
};

// "pid (name) state ppid pgrp ...", the name in parentheses possibly holding both.
bool readState(pid_t pid, ProcessState& process)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t open = stat.find('(');
    const std::size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open || close + 2 >= stat.size())
        return false;
    process.program = {pid, stat.substr(open + 1, close - open - 1)};
    process.state = stat[close + 2];
    const std::string_view rest = std::string_view(stat).substr(close + 3);
    const DecimalPrefix parent = readDecimalPrefix(rest);
    const DecimalPrefix group = readDecimalPrefix(rest.substr(parent.end));
    process.parent = static_cast<pid_t>(parent.value);
    process.group = static_cast<pid_t>(group.value);
    return parent.hasDigits && group.hasDigits;
}

// Every process this one may see in /proc.
std::vector<ProcessState> processes()
{
    std::vector<ProcessState> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), &::closedir);
    if (!proc)
        return found;
    while (const dirent* entry = ::readdir(proc.get()))
    {
        const std::optional<std::int64_t> pid = wholeDecimal(entry->d_name, 1, INT32_MAX);
        ProcessState process;
        if (pid && readState(static_cast<pid_t>(*pid), process))
            found.push_back(std::move(process));
    }
    return found;
}

bool alive(const ProcessState& process)
{
    return process.state != 'Z' && process.state != 'X';
}

} // namespace

bool adoptOrphans()
{
    return ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0;
}

bool adoptsOrphans()
{
    int adopting = 0;
    return ::prctl(PR_GET_CHILD_SUBREAPER, &adopting, 0, 0, 0) == 0 && adopting != 0;
}

std::vector<Program> groupMembers(pid_t group)
{
    std::vector<Program> members;
    for (const ProcessState& process : processes())
        if (process.group == group && alive(process))
            members.push_back(process.program);
    return members;
}

EndedChildren endChildren(const std::vector<pid_t>& kept, std::chrono::milliseconds wait)
{
    EndedChildren result;
    const pid_t self = ::getpid();
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;)
    {
        std::vector<ProcessState> children = processes();
        std::erase_if(children,
                      [&](const ProcessState& process) {
                          return process.parent != self || std::ranges::count(kept, process.program.pid) != 0;
                      });
        if (children.empty())
            return result;
        const bool late = std::chrono::steady_clock::now() >= until;
        for (const ProcessState& child : children)
        {
            const pid_t pid = child.program.pid;
            const bool known =
                std::ranges::any_of(result.ended, [&](const Program& p) { return p.pid == pid; });
            if (alive(child) && late)
                result.left.push_back(child.program);
            else if (alive(child) && !known && ::kill(pid, SIGKILL) == 0)
                result.ended.push_back(child.program);
            // A child that ended by itself is only reaped: nothing was ended there.
            while (::waitpid(pid, nullptr, WNOHANG) < 0 && errno == EINTR)
            {
            }
        }
        if (late)
        {
            // Killed, but not gone: not ended after all.
            std::erase_if(result.ended,
                          [&](const Program& ended) {
                              return std::ranges::any_of(result.left, [&](const Program& left)
                                                         { return left.pid == ended.pid; });
                          });
            return result;
        }
        std::this_thread::sleep_for(kSweepPoll);
    }
}

std::string describePrograms(const std::vector<Program>& programs)
{
    std::string text = counted(programs.size(), "program");
    for (std::size_t i = 0; i < programs.size(); ++i)
        text += (i == 0 ? ": " : ", ") + std::to_string(programs[i].pid) + " (" + programs[i].name + ")";
    return text;
}

} // namespace Platform
