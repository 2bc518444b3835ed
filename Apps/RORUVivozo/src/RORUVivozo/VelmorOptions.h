// The logger's command line: its options, their texts and the options banner.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

struct VelmorOptions
{
    std::string processName = "RORUVIVOZO";
    std::uint8_t debugMask = 0;
    std::string logFileName;
    bool noConsole = false;
    bool commandsFromAllInterfaces = false;
    bool quietDispatch = false;
    // Where the status snapshot and the Prometheus metrics go; empty: not written.
    std::string statusPath;
    std::string metricsPath;
};

constexpr const char* defaultProcessName = "RORUVIVOZO";
constexpr const char* defaultLogFileName = "C:/temp/RORUVivozo.txt";
constexpr std::size_t commandLineCapacity = 1000;

// Lets the command receiver listen on every interface, not only on the loopback.
constexpr const char* allInterfacesOption = "-cmdallinterfaces";
// Leaves out the records written for every signal that say nothing but that it came (the bare dispatch
// header; the queue report but once a minute): with "-debug 8", the reports alone.
constexpr const char* quietDispatchOption = "-quietdispatch";
// Name the status snapshot's file ("none": no snapshot) and the metrics file (none unless named).
constexpr const char* statusOption = "-status %s";
constexpr const char* metricsOption = "-metrics %s";
constexpr const char* noStatus = "none";

// Reads the options in their order, writing each option error to err. "-help" writes the
// help text and waits for one character from in. Returns the number of option errors.
int readVelmorOptions(int argc, char* argv[], VelmorOptions& options, std::ostream& err, std::istream& in);

void writeHelpText(std::ostream& err);
void writeUsageText(std::ostream& err);
// The answer to "--help": every option the logger reads, and what it does.
void writeFullUsage(std::ostream& out);
// The banner; traceGoesTo, when given, adds a line after it that says where the trace lines are written.
void writeOptionsBanner(std::ostream& err, const VelmorOptions& options, const std::string& traceGoesTo = {});

// Every argument from the program name on, each followed by one blank; cut to fit its buffer.
std::string joinCommandLine(int argc, char* argv[]);
