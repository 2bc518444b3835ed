// What the bridge has done and how its source is: changed on the loop's thread, read once a second by
// the publisher's.
#pragma once

#include "Rtcm3/FrameReader.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

struct BridgeState
{
    using Clock = std::chrono::system_clock;

    std::string source; // as shown: without a password
    std::string destination;
    Clock::time_point started = Clock::now();
    Clock::time_point taken; // when this copy was taken
    bool connected = false;
    std::optional<Clock::time_point> since; // of the last connection or loss
    std::string connection;                 // what answered
    std::optional<Clock::time_point> nextAttempt;
    std::uint64_t bytes = 0;
    Rtcm3::FrameReader::Counts frames;
    std::uint64_t datagramsSent = 0;
    std::uint64_t sendFailures = 0;
    std::uint64_t reconnects = 0;
    std::optional<Clock::time_point> lastFrame;
    std::string lastError;
    std::optional<Clock::time_point> lastErrorTime;
};

class BridgeStatus
{
public:
    BridgeStatus(std::string source, std::string destination)
    {
        m_state.source = std::move(source);
        m_state.destination = std::move(destination);
    }

    template <class Change> void change(Change&& change)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        change(m_state);
    }

    BridgeState taken() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        BridgeState copy = m_state;
        copy.taken = BridgeState::Clock::now();
        return copy;
    }

private:
    mutable std::mutex m_lock;
    BridgeState m_state;
};
