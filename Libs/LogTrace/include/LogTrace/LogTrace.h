// The trace object: formats one trace line at a time and hands it to the log4cplus logger "LogTrace"
// and, while the console switch is on, to the standard error stream.
#pragma once

#include <ace/Token.h>
#include <log4cplus/logger.h>

#include <cstdarg>
#include <string>

class LogTrace
{
public:
    // Size of the buffer one appended line is formatted into; longer lines are cut.
    static constexpr std::size_t kBufferSize = 30000;
    // The log4cplus logger every line goes to.
    static constexpr const char* kLoggerName = "LogTrace";

    // Where trace lines are stored is decided by the logging configuration, not by the -logfile option.
    LogTrace();
    virtual ~LogTrace();

    LogTrace(const LogTrace&) = delete;
    LogTrace& operator=(const LogTrace&) = delete;

    // True: every appended line is also written to the standard error stream. Set it before the first line.
    virtual void SetConsole(bool on);

    // Formats one line (printf-style, into kBufferSize characters, cut if longer) and writes it to the
    // "LogTrace" logger at the debug level and, with the console switch on, to stderr followed by one
    // line end. Safe from any thread: lines of different threads never interleave.
    // The format must be a string literal of the program; outside text goes through "%s".
    virtual void Append(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // The same with a va_list, for callers that compose their own printf-style wrappers.
    void AppendV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

    bool Console() const { return m_console; }

private:
    bool m_console = false; // console switch
    ACE_Token m_lock;       // serialises whole lines
    log4cplus::Logger m_logger;
    char m_buffer[kBufferSize]; // guarded by m_lock
};
