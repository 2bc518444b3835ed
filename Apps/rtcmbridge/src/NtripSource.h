// An NTRIP caster's mountpoint: NTRIP 2.0 (HTTP/1.1, chunked) or 1.0 ("ICY 200 OK"), with basic
// authentication and, for network mountpoints, the position sent every so often.
#pragma once

#include "ByteSource.h"
#include "GgaSentence.h"
#include "SourceAddress.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>

#include <chrono>
#include <optional>

class NtripSource final : public ByteSource
{
public:
    NtripSource(boost::asio::io_context& io, SourceAddress address, std::optional<GgaPosition> position,
                std::chrono::seconds positionEvery);
    boost::asio::awaitable<std::string> open() override;
    boost::asio::awaitable<std::size_t> readSome(boost::asio::mutable_buffer into) override;
    void close() override;

private:
    using Parser = boost::beast::http::response_parser<boost::beast::http::buffer_body>;

    std::string request() const;
    boost::asio::awaitable<std::string> answer(std::string head);
    // Some bytes of the body; none, with the error, at its end (eof) or on a failure.
    boost::asio::awaitable<std::size_t> readBody(boost::asio::mutable_buffer into,
                                                 boost::system::error_code& error);
    boost::asio::awaitable<std::string> sourceTable();
    boost::asio::awaitable<void> sendPosition(unsigned connection);

    SourceAddress m_address;
    std::optional<GgaPosition> m_position;
    std::chrono::seconds m_positionEvery;
    boost::asio::ip::tcp::socket m_socket;
    boost::asio::steady_timer m_positionTimer;
    // What was read past the header; an NTRIP 1.0 stream's first bytes.
    boost::beast::flat_buffer m_buffer;
    // An HTTP answer's body (NTRIP 2.0): Beast takes the chunks apart. None for NTRIP 1.0.
    std::optional<Parser> m_parser;
    unsigned m_connection = 0;
};
