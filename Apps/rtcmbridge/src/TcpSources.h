// A receiver's or radio modem's TCP port, as its client or as the server it connects to.
#pragma once

#include "ByteSource.h"

#include <boost/asio/ip/tcp.hpp>

// Resolves host and connects to the first address that answers; returns the address reached.
boost::asio::awaitable<std::string> connectTo(boost::asio::ip::tcp::socket& socket, const std::string& host,
                                              std::uint16_t port);

class TcpClientSource final : public ByteSource
{
public:
    TcpClientSource(boost::asio::io_context& io, std::string host, std::uint16_t port);
    boost::asio::awaitable<std::string> open() override;
    boost::asio::awaitable<std::size_t> readSome(boost::asio::mutable_buffer into) override;
    void close() override;

private:
    boost::asio::ip::tcp::socket m_socket;
    std::string m_host;
    std::uint16_t m_port;
};

// Listens from the first open on; takes one client at a time, the next once the last is gone.
class TcpServerSource final : public ByteSource
{
public:
    TcpServerSource(boost::asio::io_context& io, std::string address, std::uint16_t port);
    boost::asio::awaitable<std::string> open() override;
    boost::asio::awaitable<std::size_t> readSome(boost::asio::mutable_buffer into) override;
    void close() override;
    bool waitsForPeer() const override { return true; }

private:
    boost::asio::ip::tcp::acceptor m_acceptor;
    boost::asio::ip::tcp::socket m_socket;
    std::string m_address;
    std::uint16_t m_port;
};
