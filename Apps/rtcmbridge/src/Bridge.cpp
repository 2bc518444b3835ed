// The bridge's loop: open the source, read, send every good frame, reconnect with backoff.
#include "Bridge.h"

#include <boost/asio/redirect_error.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <cstdio>
#include <iostream>

namespace asio = boost::asio;
using SteadyClock = std::chrono::steady_clock;

namespace
{

// One line on standard error: the journal, under the service.
void say(const std::string& line)
{
    std::cerr << "rtcmbridge: " << line << std::endl;
}

std::string secondsText(SteadyClock::duration span)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(span).count());
    return text;
}

} // namespace

Bridge::Bridge(asio::io_context& io, ByteSource& source, DatagramSender& sender, BridgeStatus& status,
               std::chrono::seconds silenceLimit)
    : m_source(source), m_sender(sender), m_status(status), m_shown(status.taken().source),
      m_destination(status.taken().destination), m_silenceLimit(silenceLimit), m_silence(io), m_retry(io)
{
}

void Bridge::stop()
{
    m_stopping = true;
    m_source.close();
    m_retry.cancel();
}

asio::awaitable<void> Bridge::run()
{
    std::chrono::seconds retry = kFirstRetry;
    std::optional<SteadyClock::time_point> lostAt; // since the last connection ended
    std::string lastSaid;
    int attempts = 0;
    bool everConnected = false;
    while (!m_stopping)
    {
        ++attempts;
        // Said when it opens: a session reports its own connection, before its first frame.
        auto opened = [&](const std::string& connection)
        {
            if (!everConnected)
                say("connected to " + m_shown + " (" + connection + ")");
            else
                say("connected again to " + m_shown + " (" + connection + ") after " +
                    secondsText(SteadyClock::now() - lostAt.value_or(SteadyClock::now())) + " without it, " +
                    std::to_string(attempts) + (attempts == 1 ? " attempt" : " attempts"));
            m_status.change(
                [&](BridgeState& state)
                {
                    state.reconnects += everConnected ? 1 : 0;
                    state.connected = true;
                    state.connection = connection;
                    state.since = BridgeState::Clock::now();
                    state.nextAttempt.reset();
                });
            everConnected = true;
            attempts = 0;
            lastSaid.clear();
        };
        const Outcome outcome = co_await session(opened);
        if (outcome.final || m_stopping)
            break;
        if (outcome.delivered)
            retry = kFirstRetry;
        if (outcome.opened)
        {
            lostAt = SteadyClock::now();
            say("lost " + m_shown + ": " + outcome.reason + "; trying again in " +
                std::to_string(retry.count()) + " s");
        }
        else if (outcome.reason != lastSaid)
        {
            // A source that stays away in the same way is said once, not at every attempt.
            say("not connected to " + m_shown + ": " + outcome.reason + "; trying again in " +
                std::to_string(retry.count()) + " s, up to every " + std::to_string(kLastRetry.count()) +
                " s");
        }
        lastSaid = outcome.reason;
        m_status.change(
            [&](BridgeState& state)
            {
                const auto now = BridgeState::Clock::now();
                if (state.connected || !state.since)
                    state.since = now;
                state.connected = false;
                state.lastError = outcome.reason;
                state.lastErrorTime = now;
                state.nextAttempt = now + retry;
            });
        m_retry.expires_after(retry);
        boost::system::error_code cancelled;
        co_await m_retry.async_wait(asio::redirect_error(asio::use_awaitable, cancelled));
        retry = std::min(retry * 2, kLastRetry);
    }
}

asio::awaitable<Bridge::Outcome> Bridge::session(const std::function<void(const std::string&)>& opened)
{
    Outcome outcome;
    m_silent = false;
    m_lastByte = m_lastFrame = SteadyClock::now();
    const bool watched = !m_source.endsTheBridge();
    if (watched && !m_source.waitsForPeer())
        watchSilence();
    const auto frameCount = [this] { return m_reader.counts().frames; };
    try
    {
        const std::string connection = co_await m_source.open();
        // Opened after the close at the silence limit: no connection.
        if (m_silent)
            throw boost::system::system_error(asio::error::timed_out);
        outcome.opened = true;
        opened(connection);
        m_lastByte = m_lastFrame = SteadyClock::now();
        m_saidNoFrame = false;
        if (watched && m_source.waitsForPeer())
            watchSilence();
        while (!m_stopping)
        {
            const std::size_t got = co_await m_source.readSome(asio::buffer(m_buffer));
            m_lastByte = SteadyClock::now();
            m_bytes += got;
            const std::uint64_t before = frameCount();
            m_reader.feed(m_buffer.data(), got,
                          [this](const unsigned char* frame, std::size_t size) { sendFrame(frame, size); });
            if (frameCount() > before)
            {
                outcome.delivered = true;
                m_lastFrame = m_lastByte;
                m_saidNoFrame = false;
            }
            reportCounts();
        }
    }
    catch (const SourceFailure& failure)
    {
        outcome.reason = failure.what();
    }
    catch (const boost::system::system_error& error)
    {
        outcome.reason = m_silent ? "no byte for " + std::to_string(m_silenceLimit.count()) + " s"
                                  : reasonText(error.code());
        outcome.final = m_source.endsTheBridge() && error.code() == asio::error::eof;
    }
    ++m_session;
    m_silence.cancel();
    m_source.close();
    // Frames held behind the false start of one are still whole; the next connection can not finish one.
    const std::uint64_t before = frameCount();
    m_reader.endStream([this](const unsigned char* frame, std::size_t size) { sendFrame(frame, size); });
    outcome.delivered = outcome.delivered || frameCount() > before;
    reportCounts();
    if (outcome.final)
        say("standard input ended: " + std::to_string(m_sent) + " frames sent");
    co_return outcome;
}

void Bridge::watchSilence()
{
    m_silence.expires_at((m_silent ? SteadyClock::now() : m_lastByte) + m_silenceLimit);
    m_silence.async_wait(
        [this, session = m_session](const boost::system::error_code& error)
        {
            // A wait that ended as its session did may still come: it is no longer the bridge's.
            if (error || session != m_session)
                return;
            if (m_silent)
            {
                m_source.close();
                return watchSilence();
            }
            const auto now = SteadyClock::now();
            if (!m_saidNoFrame && now >= m_lastFrame + m_silenceLimit && m_lastByte > m_lastFrame)
            {
                // Bytes come, but never a good frame: it stays connected, and says so once.
                say("reading " + m_shown + " but no good frame for " +
                    std::to_string(m_silenceLimit.count()) + " s, " +
                    std::to_string(m_reader.counts().bytesOutside) +
                    " bytes outside frames so far: not RTCM 3, or a wrong baud rate?");
                m_saidNoFrame = true;
            }
            if (now < m_lastByte + m_silenceLimit)
                return watchSilence();
            m_silent = true;
            m_source.close();
            // A name lookup goes on past the close, and the connect after it opens the socket again: what
            // opens that late is closed again, until the session has ended.
            watchSilence();
        });
}

void Bridge::sendFrame(const unsigned char* frame, std::size_t size)
{
    const boost::system::error_code error = m_sender.send(frame, size);
    if (!error)
    {
        ++m_sent;
        if (m_sendFailing)
            say("sending to " + m_destination + " again; " + std::to_string(m_sendFailures - m_failingSince) +
                " frames could not be sent");
        m_sendFailing = false;
        return;
    }
    if (!m_sendFailing)
    {
        say("not able to send to " + m_destination + ": " + reasonText(error) +
            "; frames are lost until it works again");
        m_failingSince = m_sendFailures;
        m_sendFailing = true;
    }
    ++m_sendFailures;
}

void Bridge::reportCounts()
{
    m_status.change(
        [this](BridgeState& state)
        {
            if (m_reader.counts().frames != state.frames.frames)
                state.lastFrame = BridgeState::Clock::now();
            state.bytes = m_bytes;
            state.frames = m_reader.counts();
            state.datagramsSent = m_sent;
            state.sendFailures = m_sendFailures;
        });
}
