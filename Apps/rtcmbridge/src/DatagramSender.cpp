// Sends each frame as one UDP datagram to the logger's data port.
#include "DatagramSender.h"

namespace asio = boost::asio;
using asio::ip::udp;

DatagramSender::DatagramSender(asio::io_context& io, const std::string& host, std::uint16_t port)
    : m_socket(io)
{
    udp::resolver resolver(io);
    m_destination = resolver.resolve(host, std::to_string(port))->endpoint();
    m_socket.open(m_destination.protocol());
}

boost::system::error_code DatagramSender::send(const unsigned char* data, std::size_t size)
{
    boost::system::error_code error;
    const std::size_t sent = m_socket.send_to(asio::buffer(data, size), m_destination, 0, error);
    if (!error && sent != size)
        error = asio::error::message_size;
    return error;
}
