// UdpSender: sends one text as one UDP datagram to a destination given as "host:port".
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <memory>
#include <string>

namespace Udp
{

class UdpSender
{
public:
    // Opens an IPv4 UDP socket on the event loop, which it keeps alive; throws
    // boost::system::system_error ("open").
    explicit UdpSender(std::shared_ptr<boost::asio::io_context> io);
    ~UdpSender();

    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // Starts sending text as one datagram and returns; the completion runs on the event loop's thread and
    // writes a send error to the standard error stream. Host and port are trimmed of white space; text after
    // a second colon is ignored. Throws std::out_of_range ("invalid vector subscript") when the destination
    // has no port part, boost::system::system_error ("resolve") when it does not resolve.
    void Send(const std::string& text, const std::string& destination);

private:
    std::shared_ptr<boost::asio::io_context> m_io;
    boost::asio::ip::udp::socket m_socket;
};

} // namespace Udp
