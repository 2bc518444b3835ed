// Test support: collects the lines that reach the log4cplus logger "LogTrace" while it lives.
#pragma once

#include <log4cplus/appender.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

#include <mutex>
#include <string>
#include <vector>

class TraceCaptureAppender : public log4cplus::Appender
{
public:
    TraceCaptureAppender() = default;
    ~TraceCaptureAppender() override { destructorImpl(); }

    void close() override {}

    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

    struct Event
    {
        std::string message;
        log4cplus::LogLevel level;
        std::string function;
    };
    std::vector<Event> Events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
        m_events.clear();
    }

protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(event.getMessage());
        m_events.push_back({event.getMessage(), event.getLogLevel(), event.getFunction()});
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::vector<Event> m_events;
};

// Attaches a capture appender to the "LogTrace" logger for the lifetime of the object.
class TraceCapture
{
public:
    TraceCapture()
        : m_logger(log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("LogTrace"))),
          m_appender(new TraceCaptureAppender)
    {
        m_logger.addAppender(log4cplus::SharedAppenderPtr(m_appender.get()));
    }
    ~TraceCapture() { m_logger.removeAppender(log4cplus::SharedAppenderPtr(m_appender.get())); }

    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::vector<std::string> Lines() const { return m_appender->Lines(); }
    std::vector<TraceCaptureAppender::Event> Events() const { return m_appender->Events(); }
    void Clear() { m_appender->Clear(); }

private:
    log4cplus::Logger m_logger;
    log4cplus::helpers::SharedObjectPtr<TraceCaptureAppender> m_appender;
};
