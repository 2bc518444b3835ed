// The bridge's loop: open the source, read, send every good frame, and when the source is lost, refused
// or silent, try again after 1 s, 2 s, 4 s ... up to every 60 s, saying each loss and return once.
#pragma once

#include "BridgeStatus.h"
#include "ByteSource.h"
#include "DatagramSender.h"

#include <boost/asio/steady_timer.hpp>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

class Bridge
{
public:
    static constexpr std::chrono::seconds kFirstRetry{1};
    static constexpr std::chrono::seconds kLastRetry{60};

    Bridge(boost::asio::io_context& io, ByteSource& source, DatagramSender& sender, BridgeStatus& status,
           std::chrono::seconds silenceLimit);

    // Until stop(), or the end of a source whose end is the bridge's.
    boost::asio::awaitable<void> run();
    void stop();

private:
    struct Outcome
    {
        std::string reason;
        bool opened = false;
        bool delivered = false; // a good frame came
        bool final = false;
    };

    boost::asio::awaitable<Outcome> session(const std::function<void(const std::string&)>& opened);
    void watchSilence();
    void sendFrame(const unsigned char* frame, std::size_t size);
    void reportCounts();

    ByteSource& m_source;
    DatagramSender& m_sender;
    BridgeStatus& m_status;
    const std::string m_shown;
    const std::string m_destination;
    const std::chrono::seconds m_silenceLimit;
    boost::asio::steady_timer m_silence;
    boost::asio::steady_timer m_retry;
    Rtcm3::FrameReader m_reader;
    std::array<unsigned char, 16384> m_buffer{};
    std::chrono::steady_clock::time_point m_lastByte;
    std::chrono::steady_clock::time_point m_lastFrame; // or the opening, before the first
    unsigned m_session = 0;
    bool m_silent = false;
    bool m_saidNoFrame = false;
    bool m_stopping = false;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_sent = 0;
    std::uint64_t m_sendFailures = 0;
    std::uint64_t m_failingSince = 0; // send failures when the present run of them began
    bool m_sendFailing = false;
};
