// A receiver's or radio modem's TCP port, as its client or as the server it connects to.
#include "TcpSources.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace
{

std::string endpointText(const tcp::endpoint& endpoint)
{
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" +
           std::to_string(endpoint.port());
}

} // namespace

asio::awaitable<std::string> connectTo(tcp::socket& socket, const std::string& host, std::uint16_t port)
{
    tcp::resolver resolver(socket.get_executor());
    const auto addresses = co_await resolver.async_resolve(host, std::to_string(port), asio::use_awaitable);
    const tcp::endpoint reached = co_await asio::async_connect(socket, addresses, asio::use_awaitable);
    co_return endpointText(reached);
}

TcpClientSource::TcpClientSource(asio::io_context& io, std::string host, std::uint16_t port)
    : m_socket(io), m_host(std::move(host)), m_port(port)
{
}

asio::awaitable<std::string> TcpClientSource::open()
{
    co_return "at " + co_await connectTo(m_socket, m_host, m_port);
}

asio::awaitable<std::size_t> TcpClientSource::readSome(asio::mutable_buffer into)
{
    co_return co_await m_socket.async_read_some(into, asio::use_awaitable);
}

void TcpClientSource::close()
{
    boost::system::error_code ignored;
    m_socket.close(ignored);
}

TcpServerSource::TcpServerSource(asio::io_context& io, std::string address, std::uint16_t port)
    : m_acceptor(io), m_socket(io), m_address(std::move(address)), m_port(port)
{
}

asio::awaitable<std::string> TcpServerSource::open()
{
    if (!m_acceptor.is_open())
    {
        boost::system::error_code error;
        const tcp::endpoint local(m_address.empty() ? asio::ip::address_v4::any()
                                                    : asio::ip::make_address(m_address, error),
                                  m_port);
        // A restart must not wait for the last connection's TIME_WAIT to end.
        if (!error)
            m_acceptor.open(local.protocol(), error);
        if (!error)
            m_acceptor.set_option(tcp::acceptor::reuse_address(true), error);
        if (!error)
            m_acceptor.bind(local, error);
        if (!error)
            m_acceptor.listen(asio::socket_base::max_listen_connections, error);
        if (error)
        {
            boost::system::error_code ignored;
            m_acceptor.close(ignored);
            throw SourceFailure("not able to listen on " + (m_address.empty() ? "*" : m_address) + ":" +
                                std::to_string(m_port) + ": " + reasonText(error));
        }
    }
    co_await m_acceptor.async_accept(m_socket, asio::use_awaitable);
    co_return "client " + endpointText(m_socket.remote_endpoint());
}

asio::awaitable<std::size_t> TcpServerSource::readSome(asio::mutable_buffer into)
{
    co_return co_await m_socket.async_read_some(into, asio::use_awaitable);
}

void TcpServerSource::close()
{
    boost::system::error_code ignored;
    m_socket.close(ignored);
    m_acceptor.cancel(ignored);
}
