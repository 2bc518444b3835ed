// Where the trace lines really go, as the banner tells the operator.
#include "RORUVivozo/VelmorTraceDestination.h"

#include "LogTrace/LogTrace.h"
#include "Platform/NativePath.h"

#include <log4cplus/appender.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/logger.h>

#include <vector>

namespace
{

constexpr const char* kRootLogger = "root";

// The appenders a debug line of the logger reaches: its own and, while additive, its ancestors'.
std::vector<std::string> appenderPlaces(log4cplus::Logger logger, const std::string& loggingConfiguration)
{
    std::vector<std::string> places;
    if (!logger.isEnabledFor(log4cplus::DEBUG_LOG_LEVEL))
        return places;
    const log4cplus::helpers::Properties properties =
        loggingConfiguration.empty()
            ? log4cplus::helpers::Properties()
            : log4cplus::helpers::Properties(Platform::nativePath(loggingConfiguration));
    for (;;)
    {
        for (const log4cplus::SharedAppenderPtr& appender : logger.getAllAppenders())
        {
            const std::string file =
                properties.getProperty("log4cplus.appender." + appender->getName() + ".File");
            places.push_back(file.empty() ? "log4cplus appender " + appender->getName() : file);
        }
        if (!logger.getAdditivity() || logger.getName() == kRootLogger)
            return places;
        logger = logger.getParent();
    }
}

} // namespace

std::string traceDestination(const VelmorOptions& options, const std::string& loggingConfiguration)
{
    if (options.debugMask == 0)
        return "none (-debug 0 writes no trace)";
    std::vector<std::string> places;
    if (!options.noConsole)
        places.push_back("standard error");
    for (std::string& place :
         appenderPlaces(log4cplus::Logger::getInstance(LogTrace::kLoggerName), loggingConfiguration))
        places.push_back(std::move(place));
    if (places.empty())
        return "nowhere (-noconsole, and the logging configuration gives LogTrace no appender)";
    std::string text;
    for (const std::string& place : places)
        text += (text.empty() ? "" : ", ") + place;
    return text;
}
