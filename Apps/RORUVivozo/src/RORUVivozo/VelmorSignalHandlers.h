// Ctrl-C and termination by the operating system: each request posts one PZELT_24 to the control.
#pragma once

// The texts written to standard output when a request arrives.
constexpr const char* interruptText = "\nCleaning up after ctrl-C\n";
constexpr const char* terminationText = "\nCleaning up after termination by OP system.\n";

// Installs the handlers for signals 2 and 15. Returns false when they could not be installed.
bool installTerminationHandlers();

// What one request does: the text, then PZELT_24 to the control when there is one.
void handleTerminationRequest(int signalNumber);
