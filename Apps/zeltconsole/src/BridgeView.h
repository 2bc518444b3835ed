// The console's view of an rtcmbridge status file, shown beneath the logger's in zeltconsole watch.
#pragma once

#include "StatusView.h"

#include <string>
#include <vector>

// The logger's view with each bridge's lines after it; a bridge whose status is missing, unreadable or
// stale adds its problem to the view's.
StatusView withBridges(StatusView view, const std::vector<std::string>& bridgePaths, double nowUnix);
