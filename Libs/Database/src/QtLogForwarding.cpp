// Qt's own debug and warning messages (those of the token store among them) go to the process log.
#include "Database/GetToken.h"

#include <QString>
#include <QtGlobal>

#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>

#include <mutex>
#include <string>

namespace
{

// Set once, before the handler is installed.
std::string forwardLoggerName;

void forwardToProcessLog(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    log4cplus::LogLevel level = log4cplus::DEBUG_LOG_LEVEL;
    switch (type)
    {
    case QtDebugMsg:
    case QtInfoMsg:
        level = log4cplus::DEBUG_LOG_LEVEL;
        break;
    case QtWarningMsg:
        level = log4cplus::WARN_LOG_LEVEL;
        break;
    case QtCriticalMsg:
        level = log4cplus::ERROR_LOG_LEVEL;
        break;
    case QtFatalMsg:
        level = log4cplus::FATAL_LOG_LEVEL;
        break;
    }
    log4cplus::Logger logger = log4cplus::Logger::getInstance(LOG4CPLUS_STRING_TO_TSTRING(forwardLoggerName));
    if (logger.isEnabledFor(level))
        logger.forcedLog(level, LOG4CPLUS_STRING_TO_TSTRING(text.toStdString()));
}

} // namespace

void installQtLogForwarding(const std::string& loggerName)
{
    static std::once_flag installed;
    std::call_once(installed,
                   [&]
                   {
                       forwardLoggerName = loggerName;
                       qInstallMessageHandler(forwardToProcessLog);
                   });
}
