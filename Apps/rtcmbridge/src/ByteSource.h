// One source of the bridge's byte stream (a caster's mountpoint, a TCP peer, a serial port, standard
// input): opened, read and closed again, as often as the bridge reconnects.
#pragma once

// Boost 1.74's awaitable.hpp uses std::exchange without including its header.
#include <utility>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>

#include <memory>
#include <stdexcept>
#include <string>

struct BridgeOptions;

// Why a source could not be opened, as the journal says it ("authentication refused (HTTP 401 ...)").
class SourceFailure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class ByteSource
{
public:
    virtual ~ByteSource() = default;

    // Connects (or opens, or takes the next client) and returns what answered ("NTRIP 2.0", "client
    // 10.0.0.5:40112"). Throws SourceFailure or boost::system::system_error.
    virtual boost::asio::awaitable<std::string> open() = 0;
    // At least one byte of the stream; throws boost::system::system_error at its end
    // (boost::asio::error::eof) and on any error.
    virtual boost::asio::awaitable<std::size_t> readSome(boost::asio::mutable_buffer into) = 0;
    // Ends the connection; an operation in progress then throws. Safe to call at any time, and twice.
    virtual void close() = 0;

    // Waits for a peer without limit while it opens (a server without its client): silence counts only
    // once it is open.
    virtual bool waitsForPeer() const { return false; }
    // Its end is the bridge's end (standard input), not a loss: no silence limit, no reconnection.
    virtual bool endsTheBridge() const { return false; }
};

std::unique_ptr<ByteSource> makeSource(boost::asio::io_context& io, const BridgeOptions& options);

// A system error as a reason in a sentence: "connection refused", "closed by the other end".
std::string reasonText(const boost::system::error_code& error);
