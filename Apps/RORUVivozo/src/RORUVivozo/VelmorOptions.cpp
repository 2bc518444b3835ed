// The logger's command line: its options, their texts and the options banner.
#include "RORUVivozo/VelmorOptions.h"

#include "Platform/NativePath.h"
#include "RORUVivozo/ReadArg.h"
#include "SuiteProtocol/StatusSnapshot.h"

#include <cstdint>
#include <iostream>
#include <string_view>

namespace
{

const char* const dashLine = "------------------------------------------------------------";

void writeOptionLines(std::ostream& err)
{
    err << "\n\t[-name \"RORUVivozo process name\" Name of the RORUVivozo process]";
}

void writeCommonTail(std::ostream& err)
{
    err << "\n\t                          1=Trans, 2=Sig, 4=Job, 8=Data, 16=Timers, 31=All]"
        << "\n\t[-logfile \"file name\"     Use to log to file]"
        << "\n\t[-noconsole               Use to turn off logging to console]" << std::endl;
}

} // namespace

void writeHelpText(std::ostream& err)
{
    err << "\nUsage for debug:";
    writeOptionLines(err);
    err << "\n\t[-debug arg               Arg sum of selected elem:";
    writeCommonTail(err);
    err << std::endl << "Please press a key to close down program." << std::endl;
}

void writeUsageText(std::ostream& err)
{
    err << "\nUsage:";
    writeOptionLines(err);
    err << "\n\t[-debug arg               Arg is sum of selected choices:";
    writeCommonTail(err);
}

void writeOptionsBanner(std::ostream& err, const VelmorOptions& options)
{
    err << std::endl;
    err << dashLine << std::endl;
    err << "- Command Line Options (default values if not set)" << std::endl;
    err << dashLine << std::endl;
    err << "- Process Name              : " << options.processName << std::endl;
    err << "- Debug                     : 0x" << std::hex << static_cast<unsigned>(options.debugMask)
        << std::dec << std::endl;
    err << "- Log file                  : " << options.logFileName << std::endl;
    err << "- noconsole                 : " << (options.noConsole ? 1 : 0) << std::endl;
    err << dashLine << std::endl;
}

int readVelmorOptions(int argc, char* argv[], VelmorOptions& options, std::ostream& err, std::istream& in)
{
    int errors = 0;

    const char* name = nullptr;
    const int nameResult = ReadArg(argc, argv, "-name %s", &name);
    err << std::endl;
    if (nameResult == 0)
    {
        err << "         Error in argument: -name failed.  " << std::endl;
        ++errors;
    }
    options.processName = name != nullptr ? name : defaultProcessName;

    std::int8_t mask = 0;
    const int debugResult = ReadArg(argc, argv, "-debug %c", &mask);
    if (debugResult == 0)
    {
        err << "         Error in argument: -debug option failed.  " << std::endl;
        ++errors;
    }
    options.debugMask = debugResult == 2 ? static_cast<std::uint8_t>(mask) : 0;

    const char* logFile = nullptr;
    if (ReadArg(argc, argv, "-logfile %s", &logFile) == 0)
    {
        err << "         Error in argument: -logfile option failed.  " << std::endl;
        ++errors;
    }
    options.logFileName =
        logFile != nullptr ? logFile : Platform::environmentOr("RTCM_LOGNAME", defaultLogFileName);

    const int noConsoleResult = ReadArg(argc, argv, "-noconsole");
    if (noConsoleResult == 0)
    {
        err << "         Error in argument: -noconsole option failed." << std::endl;
        ++errors;
    }
    options.noConsole = noConsoleResult == 2;

    const int allInterfacesResult = ReadArg(argc, argv, allInterfacesOption);
    if (allInterfacesResult == 0)
    {
        err << "         Error in argument: " << allInterfacesOption << " option failed." << std::endl;
        ++errors;
    }
    options.commandsFromAllInterfaces = allInterfacesResult == 2;

    const char* status = nullptr;
    if (ReadArg(argc, argv, statusOption, &status) == 0)
    {
        err << "         Error in argument: -status option failed." << std::endl;
        ++errors;
    }
    options.statusPath = status == nullptr                      ? StatusSnapshot::kDefaultPath
                         : status == std::string_view(noStatus) ? ""
                                                                : status;

    const char* metrics = nullptr;
    if (ReadArg(argc, argv, metricsOption, &metrics) == 0)
    {
        err << "         Error in argument: -metrics option failed." << std::endl;
        ++errors;
    }
    options.metricsPath = metrics != nullptr ? metrics : "";

    const int helpResult = ReadArg(argc, argv, "-help");
    if (helpResult == 0)
    {
        err << "         Error in argument: -help option failed." << std::endl;
        ++errors;
    }
    else if (helpResult == 2)
    {
        writeHelpText(err);
        in.get();
    }
    return errors;
}

std::string joinCommandLine(int argc, char* argv[])
{
    std::string text;
    for (int i = 0; i < argc; ++i)
    {
        text += argv[i];
        text += ' ';
    }
    // The trace line that shows it was made for a fixed buffer: cut rather than overflow.
    if (text.size() > commandLineCapacity)
        text.resize(commandLineCapacity);
    return text;
}
