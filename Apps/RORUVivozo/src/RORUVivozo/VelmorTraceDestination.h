// Where the trace lines really go, as the banner tells the operator.
#pragma once

#include "RORUVivozo/VelmorOptions.h"

#include <string>

// Standard error unless the console is off, and what the log4cplus configuration (the file it was read
// from, empty when none) makes of the logger "LogTrace": the files of its appenders, by their names
// otherwise. Says so when the trace goes nowhere.
std::string traceDestination(const VelmorOptions& options, const std::string& loggingConfiguration);
