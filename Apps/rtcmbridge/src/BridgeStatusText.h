// The bridge's state as the service manager's status line and as the JSON status file.
#pragma once

#include "BridgeStatus.h"

#include <sys/types.h>

#include <string>

std::string bridgeStatusLine(const BridgeState& state);
std::string bridgeStatusJson(const BridgeState& state, const std::string& line, pid_t pid);
