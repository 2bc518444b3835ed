// The kernel's monotonic clock as every process of one boot reads it: no step of the wall clock moves
// it, so an age measured on it stays true, and two processes compare their readings when their boot is
// the same.
#pragma once

#include <chrono>
#include <string>

namespace Platform
{

// Seconds of CLOCK_MONOTONIC, which std::chrono::steady_clock reads on Linux.
double monotonicSeconds(std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now());

// This boot's identity; empty where the kernel does not tell it.
std::string bootId();

} // namespace Platform
