// Sends each frame as one UDP datagram to the logger's data port, resolved once at the start.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstdint>
#include <string>

class DatagramSender
{
public:
    // Throws boost::system::system_error when the destination does not resolve or no socket opens.
    DatagramSender(boost::asio::io_context& io, const std::string& host, std::uint16_t port);

    // The error when the datagram did not leave whole. A full socket buffer makes it wait a moment rather
    // than lose the frame.
    boost::system::error_code send(const unsigned char* data, std::size_t size);

private:
    boost::asio::ip::udp::socket m_socket;
    boost::asio::ip::udp::endpoint m_destination;
};
