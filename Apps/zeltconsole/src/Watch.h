// zeltconsole watch: shows the logger's status snapshot until ctrl-C or SIGTERM, or once.
#pragma once

#include <string>

// Returns the exit status: 0 when ended by a signal or, with once, when a fresh snapshot of a logger
// that is not stuck was shown.
int watchStatus(const std::string& snapshotPath, bool once);
