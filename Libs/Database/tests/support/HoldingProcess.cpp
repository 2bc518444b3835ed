// A second process that holds a lock for a test, fed and ended through its standard input.
#include "support/HoldingProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace VivozoTest
{

HoldingProcess::~HoldingProcess()
{
    release();
}

bool HoldingProcess::start(const std::vector<std::string>& command)
{
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(fromChild, O_CLOEXEC) != 0)
    {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::vector<std::string> arguments = command;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const bool spawned = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_stdin = toChild[1];
    m_stdout = fromChild[0];
    if (!spawned)
    {
        m_pid = -1;
        release();
        return false;
    }
    return true;
}

bool HoldingProcess::holdTokenLock(const std::string& holderProgram, const std::string& lockFile)
{
    if (!start({holderProgram, lockFile}))
        return false;
    char said[7] = {};
    return ::read(m_stdout, said, 6) == 6 && std::string(said) == "locked";
}

bool HoldingProcess::holdDatabase(const std::string& databaseFile)
{
    if (!start({"sqlite3", databaseFile}))
        return false;
    // Waits its turn behind a connection that is writing just then; a failed BEGIN ends the shell before
    // it can say "locked".
    const std::string begin = ".bail on\n.timeout 10000\nBEGIN EXCLUSIVE;\nSELECT 'locked';\n";
    if (::write(m_stdin, begin.data(), begin.size()) != static_cast<ssize_t>(begin.size()))
        return false;
    char said[8] = {};
    return ::read(m_stdout, said, 7) == 7 && std::string(said) == "locked\n";
}

void HoldingProcess::release()
{
    // End of input: the shell rolls its transaction back, the holder closes its lock file.
    for (int* fd : {&m_stdin, &m_stdout})
    {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (m_pid > 0)
        ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

} // namespace VivozoTest
