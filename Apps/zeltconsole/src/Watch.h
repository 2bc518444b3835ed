// zeltconsole watch: shows the logger's status snapshot until ctrl-C or SIGTERM, or once.
#pragma once

#include <string>
#include <vector>

// Returns the exit status: 0 when ended by a signal or, with once, when a fresh snapshot of a logger
// that is not stuck was shown. The bridges' status files are shown beneath the snapshot.
int watchStatus(const std::string& snapshotPath, bool once, const std::vector<std::string>& bridgePaths = {});
