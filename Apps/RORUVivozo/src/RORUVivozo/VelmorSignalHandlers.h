// Signals from the operating system: the ones that would end the process post one PZELT_24 to the
// control each, a hang-up asks for a reread, a broken pipe is ignored.
#pragma once

// The texts written to standard output when a request arrives.
constexpr const char* interruptText = "\nCleaning up after ctrl-C\n";
constexpr const char* terminationText = "\nCleaning up after termination by OP system.\n";
constexpr const char* rereadText = "\nRereading parameters after hang-up.\n";

// Installs the handlers. Returns false when they could not be installed.
bool installTerminationHandlers();

// What one request does: the text, then PZELT_24 (PZELT_6 for a hang-up) to the control when there is
// one.
void handleTerminationRequest(int signalNumber);
