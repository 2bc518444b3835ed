// Reads one command-line option and its values.
#pragma once

// Format: the option name beginning with '-', optionally followed by blank-separated conversions
// (%c signed 8-bit, %d double, %i and %l 32-bit integer, %s the argument text itself, %x hexadecimal),
// one destination pointer per conversion.
// Returns 0 when the format is faulty or a number has no value, 1 when the option is not on the
// command line, 2 when it was found and its values stored. A missing %s value stores nullptr.
int ReadArg(int argc, char* argv[], const char* format, ...);
