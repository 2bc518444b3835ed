// Starts the built logger (or any program) as a child process for end-to-end tests.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess
{
public:
    // Starts program with args; its standard output and error are collected in the background.
    // Standard input is an empty pipe that stays open until the child ends.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& extraEnvironment = {});
    ~ChildProcess(); // kills the child if it still runs

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void signal(int signalNumber) const;
    // The exit status, or -1 on timeout (the child is then still running), or 128+n when killed by n.
    int wait(std::chrono::milliseconds timeout);
    // Waits until text appears in the child's stdout or stderr; false on timeout.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);

    std::string standardOutput();
    std::string standardError();
    pid_t pid() const { return m_pid; }

private:
    void drain(int milliseconds);

    pid_t m_pid = -1;
    int m_stdout = -1;
    int m_stderr = -1;
    int m_stdin = -1;
    int m_status = -1;
    bool m_ended = false;
    std::string m_out;
    std::string m_err;
};

// The path of the built logger.
std::string loggerProgram();
