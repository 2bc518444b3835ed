// Starts "makerinex.bat" as a separate process through ACE, in a process group of its own that its
// caller bounds.
#include "Rtcm3/MakeRinexLauncher.h"

#include <ace/Process.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Rtcm3
{

namespace
{

constexpr size_t kCommandLineBuffer = 1024;
constexpr size_t kEnvironmentBuffer = 16384;
constexpr size_t kEnvironmentEntries = 512;
constexpr size_t kCommandLineArguments = 128;

// Runs in the forked child only: execs with our own argument vector, so that paths with blanks
// arrive whole, after closing every descriptor but the standard streams, so that a long
// conversion holds neither the data port nor a log file of the logger. The environment is the
// logger's with the reference station and the extra entries added, built before the fork: the child
// must not allocate.
class MakeRinexProcess : public ACE_Process
{
public:
    MakeRinexProcess(const std::string& logFilePath, const std::string& rinexName, unsigned int station,
                     const std::vector<std::string>& extra)
        : m_argv{const_cast<char*>(kMakeRinexProgram), const_cast<char*>(logFilePath.c_str()),
                 const_cast<char*>(rinexName.c_str()), nullptr},
          m_added(extra)
    {
        m_added.push_back(std::string(kStationVariable) + "=" + std::to_string(station));
        const auto replaced = [this](const char* entry)
        {
            for (const std::string& added : m_added)
            {
                const std::size_t nameLength = added.find('=') + 1; // with the '='
                if (std::strncmp(entry, added.c_str(), nameLength) == 0)
                    return true;
            }
            return false;
        };
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        {
            if (!replaced(*entry))
                m_environment.push_back(*entry);
        }
        for (std::string& added : m_added)
            m_environment.push_back(added.data());
        m_environment.push_back(nullptr);
    }

protected:
    void child(pid_t) override
    {
        ::setpgid(0, 0);
        // What the logger ignores or blocks for itself must not reach convbin and the shell.
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (::close_range(3, UINT_MAX, 0) != 0)
        {
            const long limit = ::sysconf(_SC_OPEN_MAX);
            for (int fd = 3; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd)
                ::close(fd);
        }
        ::execvpe(m_argv[0], m_argv, m_environment.data());
        ::_exit(127);
    }

private:
    char* m_argv[4];
    std::vector<std::string> m_added;
    std::vector<char*> m_environment;
};

} // namespace

std::string makeRinexCommandLine(const std::string& logFilePath, const std::string& rinexName)
{
    char commandLine[kCommandLineBuffer];
    std::snprintf(commandLine, sizeof commandLine, "makerinex.bat %s %s", logFilePath.c_str(),
                  rinexName.c_str());
    return commandLine;
}

Platform::ProcessGroup startMakeRinex(const std::string& logFilePath, const std::string& rinexName,
                                      unsigned int station, const std::vector<std::string>& environment)
{
    ACE_Process_Options options(true, kCommandLineBuffer, kEnvironmentBuffer, kEnvironmentEntries,
                                kCommandLineArguments);
    options.command_line("%s", makeRinexCommandLine(logFilePath, rinexName).c_str());
    MakeRinexProcess process(logFilePath, rinexName, station, environment);
    const pid_t leader = process.spawn(options);
    return Platform::ProcessGroup(leader == ACE_INVALID_PID ? -1 : leader);
}

} // namespace Rtcm3
