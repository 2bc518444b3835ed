// The trace object: one line per Append, to the "LogTrace" logger and optionally to stderr.
#include "LogTrace/LogTrace.h"

#include <ace/Guard_T.h>
#include <log4cplus/loglevel.h>

#include <cstdio>
#include <iostream>

LogTrace::LogTrace() : m_logger(log4cplus::Logger::getInstance(kLoggerName))
{
    m_buffer[0] = '\0';
}

LogTrace::~LogTrace() = default;

void LogTrace::SetConsole(bool on)
{
    m_console = on;
}

void LogTrace::Append(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendV(format, args);
    va_end(args);
}

void LogTrace::AppendV(const char* format, va_list args)
{
    ACE_Guard<ACE_Token> guard(m_lock);
    // vsnprintf cuts a line longer than the buffer and always terminates it.
    int n = std::vsnprintf(m_buffer, kBufferSize, format, args);
    if (n < 0)
    {
        m_buffer[0] = '\0';
    }
    if (m_logger.isEnabledFor(log4cplus::DEBUG_LOG_LEVEL))
    {
        // This build of log4cplus uses narrow characters: "widening" each character is the identity.
        m_logger.forcedLog(log4cplus::DEBUG_LOG_LEVEL, LOG4CPLUS_C_STR_TO_TSTRING(m_buffer), __FILE__,
                           __LINE__, "LogTrace::Append");
    }
    if (m_console)
    {
        std::cerr << m_buffer << std::endl;
    }
}
