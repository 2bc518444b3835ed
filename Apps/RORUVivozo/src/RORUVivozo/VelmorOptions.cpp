// The logger's command line: its options, their texts and the options banner.
#include "RORUVivozo/VelmorOptions.h"

#include "Platform/NativePath.h"
#include "RORUVivozo/ReadArg.h"
#include "SuiteProtocol/ChannelDirectory.h"
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

// An option without a value: true when it is on the command line.
bool readSwitch(int argc, char* argv[], const char* option, std::ostream& err, int& errors)
{
    const int result = ReadArg(argc, argv, option);
    if (result == 0)
    {
        err << "         Error in argument: " << option << " option failed." << std::endl;
        ++errors;
    }
    return result == 2;
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

void writeFullUsage(std::ostream& out)
{
    out << "usage: RORUVivozo [-name NAME] [-debug MASK] [-quietdispatch] [-logfile NAME] [-noconsole]\n"
           "                  [-cmdallinterfaces] [-status PATH] [-metrics PATH] [-help] [-version]\n"
           "       RORUVivozo --help | --version\n"
           "Appends every RTCM 3 datagram that reaches its data port to the current \".rtcm\" log file,\n"
           "hands every closed file to makerinex.bat for RINEX and obeys the operator's \"$PZELT\"\n"
           "sentences; runs until sentence 24 (zeltconsole terminate), ctrl-C or SIGTERM.\n"
           "  -name NAME         machine name in the trace; the command port is that of channel\n"
           "                     NAME_CMD (default "
        << defaultProcessName << ", port "
        << SuiteProtocol::channelPort(SuiteProtocol::commandChannelName(defaultProcessName))
        << ")\n"
           "  -debug MASK        trace: the sum of 1 transitions, 2 signal names, 4 jobs, 8 data lines\n"
           "                     (every report of the logger), 16 timers; 31 all; 0 (default) none\n"
           "  -quietdispatch     no record for every signal: no dispatch record that would hold only\n"
           "                     its header \"*F: NAME\", and the queue report at most once a minute,\n"
           "                     not for every datagram; with -debug 8, the reports alone\n"
           "  -logfile NAME      shown in the banner only (default $RTCM_LOGNAME, else "
        << defaultLogFileName
        << ")\n"
           "  -noconsole         trace lines go to the log4cplus logger LogTrace only, not to\n"
           "                     standard error\n"
           "  -cmdallinterfaces  the command port listens on every interface, not on 127.0.0.1 alone\n"
           "  -status PATH       the JSON status snapshot (default "
        << StatusSnapshot::kDefaultPath << "; " << noStatus
        << ": none)\n"
           "  -metrics PATH      Prometheus metrics, for node_exporter's textfile collector (default:\n"
           "                     none)\n"
           "  -help              print the usage for debug, wait for a key, then start\n"
           "  -version           print \"RORUVivozo <version>\" and end, before anything starts\n"
           "  --version          the same\n"
           "  --help             print this text and end, before anything starts\n"
           "Environment: ZELT_ROOT (where drive paths live), ProgramData (suite data directory),\n"
           "ODBCINI and ODBCSYSINI (data source ZELTDB), RTCM_LOGNAME, PATH (makerinex.bat, and\n"
           "afterrinex when there is one).\n";
}

void writeOptionsBanner(std::ostream& err, const VelmorOptions& options, const std::string& traceGoesTo)
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
    // Beside the banner, not in it: its lines stay as they always were.
    if (!traceGoesTo.empty())
        err << "- Trace written to          : " << traceGoesTo << std::endl;
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

    options.noConsole = readSwitch(argc, argv, "-noconsole", err, errors);
    options.commandsFromAllInterfaces = readSwitch(argc, argv, allInterfacesOption, err, errors);
    options.quietDispatch = readSwitch(argc, argv, quietDispatchOption, err, errors);

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
