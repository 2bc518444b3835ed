// UdpSender: resolves the destination synchronously and sends asynchronously on the shared event loop.
#include "Udp/UdpSender.h"

#include "Platform/TextFields.h"

#include <boost/system/system_error.hpp>

#include <iostream>
#include <stdexcept>

namespace Udp
{

using boost::asio::ip::udp;

namespace
{

udp::socket openSocket(boost::asio::io_context& io)
{
    udp::socket socket(io);
    boost::system::error_code ec;
    socket.open(udp::v4(), ec);
    if (ec)
        throw boost::system::system_error(ec, "open");
    return socket;
}

} // namespace

UdpSender::UdpSender(std::shared_ptr<boost::asio::io_context> io)
    : m_io(std::move(io)), m_socket(openSocket(*m_io))
{
}

UdpSender::~UdpSender()
{
    boost::system::error_code ignored;
    m_socket.close(ignored);
}

void UdpSender::Send(const std::string& text, const std::string& destination)
{
    // Shared with the completion, which may run after this sender is gone.
    auto payload = std::make_shared<std::string>(text);

    const std::vector<std::string> parts = Platform::splitFields(destination, ':');
    if (parts.size() < 2)
        throw std::out_of_range("invalid vector subscript");
    const std::string host = Platform::trim(parts[0]);
    const std::string port = Platform::trim(parts[1]);

    udp::resolver resolver(*m_io);
    boost::system::error_code ec;
    const udp::resolver::results_type results = resolver.resolve(host, port, udp::resolver::flags(), ec);
    if (ec)
        throw boost::system::system_error(ec, "resolve");
    if (results.empty())
        throw boost::system::system_error(boost::asio::error::host_not_found, "resolve");

    // The socket is IPv4: a host name that also resolves to IPv6 must not send to the IPv6 address.
    udp::endpoint target = results.begin()->endpoint();
    for (const auto& entry : results)
    {
        if (entry.endpoint().address().is_v4())
        {
            target = entry.endpoint();
            break;
        }
    }
    m_socket.async_send_to(boost::asio::buffer(*payload), target,
                           [payload](const boost::system::error_code& error, std::size_t)
                           {
                               if (error)
                                   std::cerr << error.message() << std::endl;
                           });
}

} // namespace Udp
