// What the programs a process starts leave behind: a process that adopts orphans gets every program
// whose parent ended below it, so that it can end them, by name, instead of init inheriting them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace Platform
{

// A process as a trace names it: "1234 (convbin)".
struct Program
{
    pid_t pid = -1;
    std::string name;
};

// Makes this process the reaper of every orphan below it (a child subreaper). False when refused.
bool adoptOrphans();
bool adoptsOrphans();

// The live processes of a process group, as far as this process may see them.
std::vector<Program> groupMembers(pid_t group);

struct EndedChildren
{
    std::vector<Program> ended; // running when found, killed and reaped
    std::vector<Program> left;  // still running when the wait was over
};

// Kills and reaps every child of this process but those in kept (whose owners reap them), and every
// orphan that comes to it as they end, until none is left or wait has passed. Only killing own, unreaped
// children makes it safe: their numbers cannot have passed to a stranger.
EndedChildren endChildren(const std::vector<pid_t>& kept, std::chrono::milliseconds wait);

// "2 programs: 1234 (convbin), 1240 (sleep)".
std::string describePrograms(const std::vector<Program>& programs);

} // namespace Platform
