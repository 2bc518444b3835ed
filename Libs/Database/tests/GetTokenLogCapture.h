// Collects what the token store tells the process log, so tests can check its debug and warning texts.
#pragma once

#include "Database/GetToken.h"

#include <log4cplus/appender.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>
#include <log4cplus/spi/loggingevent.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace VivozoTest
{

class CaptureAppender : public log4cplus::Appender
{
public:
    ~CaptureAppender() override { destructorImpl(); }
    void close() override {}

    std::vector<std::pair<log4cplus::LogLevel, std::string>> lines() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lines;
    }

    bool has(log4cplus::LogLevel level, const std::string& text) const
    {
        const auto all = lines();
        return std::find(all.begin(), all.end(), std::make_pair(level, text)) != all.end();
    }

protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.emplace_back(event.getLogLevel(), event.getMessage());
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<log4cplus::LogLevel, std::string>> m_lines;
};

// Attaches a fresh capture to the process logger for the life of the object.
class LogCapture
{
public:
    LogCapture() : m_appender(new CaptureAppender), m_logger(log4cplus::Logger::getInstance("RORUVIVOZO"))
    {
        static log4cplus::Initializer initializer;
        installQtLogForwarding("RORUVIVOZO");
        m_logger.setLogLevel(log4cplus::DEBUG_LOG_LEVEL);
        m_logger.addAppender(m_appender);
    }
    ~LogCapture() { m_logger.removeAppender(m_appender); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const CaptureAppender& operator*() const { return *capture(); }
    const CaptureAppender* operator->() const { return capture(); }

private:
    const CaptureAppender* capture() const { return static_cast<const CaptureAppender*>(m_appender.get()); }

    log4cplus::SharedAppenderPtr m_appender;
    log4cplus::Logger m_logger;
};

} // namespace VivozoTest
