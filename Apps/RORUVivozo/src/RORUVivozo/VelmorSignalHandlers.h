// Signals from the operating system: the ones that would end the process post one PZELT_24 to the
// control each, a hang-up asks for a reread, a broken pipe is ignored.
#pragma once

// The texts written to standard output when a request arrives.
constexpr const char* interruptText = "\nCleaning up after ctrl-C\n";
constexpr const char* terminationText = "\nCleaning up after termination by OP system.\n";
constexpr const char* rereadText = "\nRereading parameters after hang-up.\n";
// On standard error when a termination ends a start-up that is held up.
constexpr const char* startUpEndedText = "RORUVivozo: ended during start-up by a termination request.\n";

// Installs the handlers. Returns false when they could not be installed.
bool installTerminationHandlers();

// What one request does: the text, then PZELT_24 (PZELT_6 for a hang-up) to the control when there is
// one. A termination before the control exists waits a moment for it, and ends the process when the
// start-up is held up. No token read waits for another process's lock after a termination.
void handleTerminationRequest(int signalNumber);

// The entry, once the control exists (velmorControl set): hands on a termination asked for before.
void takeUpPendingTermination();
