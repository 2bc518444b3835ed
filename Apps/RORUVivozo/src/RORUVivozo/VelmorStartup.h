// Start-up of the suite database: connect, load the message types and show the version.
#pragma once

#include <string>

class LogTrace;

// The result of the connection is not checked: the process goes on without a database.
void connectSuiteDatabase(LogTrace* trace, const std::string& commandLine);
