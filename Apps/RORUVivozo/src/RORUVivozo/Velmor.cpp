// The logger's entry: logging set-up, command line, database connection, then the control until
// termination.
#include "Database/GetToken.h"
#include "LogTrace/LogTrace.h"
#include "Platform/NativePath.h"
#include "Platform/Orphans.h"
#include "Platform/SuiteDirectory.h"
#include "RORUVivozo/ReadArg.h"
#include "RORUVivozo/VelmorControl.h"
#include "RORUVivozo/VelmorGlobals.h"
#include "RORUVivozo/VelmorOptions.h"
#include "RORUVivozo/VelmorSignalHandlers.h"
#include "RORUVivozo/VelmorStartup.h"
#include "RORUVivozo/VelmorSuiteServices.h"
#include "RORUVivozo/VelmorTraceDestination.h"
#include "VivozoVersion.h"

#include <ace/OS_main.h>
#include <log4cplus/configurator.h>
#include <log4cplus/helpers/loglog.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace
{

constexpr const char* loggingConfigurationName = "log4cplus_configureGeneric.ini";

// Returns the configuration file read; empty when there was none to read.
std::string configureLogging()
{
    std::string configuration = Platform::suiteDataDirectory() + "/" + loggingConfigurationName;
    if (::access(Platform::nativePath(configuration).c_str(), F_OK) != 0)
        configuration = loggingConfigurationName;
    // A missing or unreadable file is not reported: the library's defaults then apply, silently.
    const bool readable = ::access(Platform::nativePath(configuration).c_str(), R_OK) == 0;
    if (!readable)
        log4cplus::helpers::LogLog::getLogLog()->setQuietMode(true);
    log4cplus::PropertyConfigurator::doConfigure(Platform::nativePath(configuration),
                                                 log4cplus::Logger::getDefaultHierarchy(), 0);
    return readable ? configuration : std::string();
}

void writeStartLines()
{
    log4cplus::Logger entryLogger = log4cplus::Logger::getInstance(kProcessLogger);
    if (entryLogger.isEnabledFor(log4cplus::DEBUG_LOG_LEVEL))
        LOG4CPLUS_DEBUG(entryLogger, "\n\n\n");
    if (entryLogger.isEnabledFor(log4cplus::DEBUG_LOG_LEVEL))
        LOG4CPLUS_DEBUG(entryLogger, "RORU Vivozo starts");
}

} // namespace

int ace_main_i(int argc, char* argv[])
{
    // Answered before anything starts: asking for the version or the usage must not bind the ports or
    // touch the suite. "-help" is another thing: it shows the usage for debug, then starts.
    if (ReadArg(argc, argv, "--help") == 2)
    {
        writeFullUsage(std::cout);
        return 0;
    }
    if (ReadArg(argc, argv, "-version") == 2 || ReadArg(argc, argv, "--version") == 2)
    {
        std::cout << "RORUVivozo " << VIVOZO_VERSION << std::endl;
        return 0;
    }
    // Before anything changes the working directory.
    Platform::anchorZeltRoot();
    // What a conversion leaves running comes to the logger, which ends it; the conversions are the only
    // programs the logger starts, so every child it has is one of theirs.
    if (!Platform::adoptOrphans())
        std::cerr << "RORUVivozo: programs that conversions leave running can not be ended: prctl: "
                  << std::strerror(errno) << std::endl;
    log4cplus::initialize();
    const std::string loggingConfiguration = configureLogging();
    // Before the first token read: Qt's messages from the token store belong in the process log.
    installQtLogForwarding(kProcessLogger);
    writeStartLines();
    installTerminationHandlers();

    const std::string commandLine = joinCommandLine(argc, argv);
    VelmorOptions options;
    if (readVelmorOptions(argc, argv, options, std::cerr, std::cin) > 0)
    {
        writeUsageText(std::cerr);
        if (options.debugMask != 0)
        {
            std::cerr << std::endl << std::endl << "Please press a key to close down program." << std::endl;
            std::cin.get();
        }
        return 0;
    }
    writeOptionsBanner(std::cerr, options, traceDestination(options, loggingConfiguration));

    std::unique_ptr<LogTrace> trace;
    if (options.debugMask != 0)
    {
        trace = std::make_unique<LogTrace>();
        trace->SetConsole(!options.noConsole);
    }

    connectSuiteDatabase(trace.get(), commandLine);

    // Declared before the control, so that they outlive it.
    CSuiteMessagePoster messages(velmorMessages);
    CSuiteTokens tokens(tokenStore());
    const VelmorServices services{messages, tokens, std::make_shared<CSuiteParameterSource>()};
    auto control = std::make_unique<CVelmorControl>(options.processName.c_str(), 1, trace.get(),
                                                    options.debugMask, services);
    if (options.commandsFromAllInterfaces)
        control->TakeCommandsFromAllInterfaces();
    if (options.quietDispatch)
        control->QuietDispatch();
    // Opening a log file changes the working directory: a relative path would wander after it.
    control->PublishStatus(
        {Platform::anchoredPath(options.statusPath), Platform::anchoredPath(options.metricsPath)});
    velmorControl.store(control.get());
    takeUpPendingTermination();
    try
    {
        control->Start(0);
    }
    catch (const CVelmorStartError& error)
    {
        // One line a service manager shows; the control is not taken down: its machine never ran.
        std::cerr << "RORUVivozo: not able to start: " << error.what() << std::endl;
        log4cplus::deinitialize();
        std::exit(EXIT_FAILURE);
    }

    // A signal that lands on this thread interrupts the wait; only the termination job ends it.
    while (velmorTerminationSemaphore.acquire() == -1 && errno == EINTR)
    {
    }

    // The control goes down in its own order and writes its last line ("Velmor terminates."); the
    // logging is shut down after it, so that line still reaches the process log.
    velmorControl.store(nullptr);
    control.reset();
    trace.reset();
    log4cplus::deinitialize();
    return 0;
}

#if !defined(ACE_HAS_NONSTATIC_OBJECT_MANAGER)
// ACE builds its main wrapper only where main must be renamed, so Linux builds lack it; this is the
// same contract: run hands the arguments unchanged to run_i.
class ACE_Main_Base
{
public:
    virtual ~ACE_Main_Base() = default;
    int run(int argc, char* argv[]) { return run_i(argc, argv); }
    virtual int run_i(int argc, char* argv[]) = 0;
};
#endif

namespace
{

// ACE's main wrapper reaches ace_main_i with the arguments unchanged.
class CVelmorMain : public ACE_Main_Base
{
public:
    int run_i(int argc, char* argv[]) override { return ace_main_i(argc, argv); }
};

} // namespace

int main(int argc, char* argv[])
{
    CVelmorMain entry;
    return entry.run(argc, argv);
}
