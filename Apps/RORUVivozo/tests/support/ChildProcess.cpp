// Starts the built logger (or any program) as a child process for end-to-end tests.
#include "support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& extraEnvironment)
{
    int out[2], err[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");

    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        environment.emplace_back(*e);
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork");
    if (m_pid == 0)
    {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ::close(in[0]);
    m_stdout = out[0];
    m_stderr = err[0];
    m_stdin = in[1];
}

ChildProcess::~ChildProcess()
{
    if (!m_ended)
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (int fd : {m_stdout, m_stderr, m_stdin})
        if (fd >= 0)
            ::close(fd);
}

void ChildProcess::signal(int signalNumber) const
{
    ::kill(m_pid, signalNumber);
}

void ChildProcess::drain(int milliseconds)
{
    pollfd fds[2] = {{m_stdout, POLLIN, 0}, {m_stderr, POLLIN, 0}};
    if (::poll(fds, 2, milliseconds) <= 0)
        return;
    char buffer[4096];
    for (int i = 0; i < 2; ++i)
    {
        if ((fds[i].revents & (POLLIN | POLLHUP)) == 0)
            continue;
        const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0)
            (i == 0 ? m_out : m_err).append(buffer, static_cast<std::size_t>(got));
    }
}

int ChildProcess::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!m_ended)
    {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
        {
            m_ended = true;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        drain(20);
    }
    // Collect whatever the child wrote before it ended.
    for (int i = 0; i < 50; ++i)
    {
        const auto before = m_out.size() + m_err.size();
        drain(10);
        if (m_out.size() + m_err.size() == before)
            break;
    }
    return m_status;
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_out.find(text) == std::string::npos && m_err.find(text) == std::string::npos)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        drain(20);
    }
    return true;
}

std::string ChildProcess::standardOutput()
{
    drain(0);
    return m_out;
}

std::string ChildProcess::standardError()
{
    drain(0);
    return m_err;
}

std::string loggerProgram()
{
    const char* binary = std::getenv("VIVOZO_BINARY_DIR");
    return std::string(binary != nullptr ? binary : ".") + "/Apps/RORUVivozo/RORUVivozo";
}
