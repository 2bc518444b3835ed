// A receiver's serial or USB port, raw 8N1: opened again when a port that disappeared returns.
#pragma once

#include "ByteSource.h"

#include <boost/asio/serial_port.hpp>

class SerialSource final : public ByteSource
{
public:
    SerialSource(boost::asio::io_context& io, std::string device, unsigned baud);
    boost::asio::awaitable<std::string> open() override;
    boost::asio::awaitable<std::size_t> readSome(boost::asio::mutable_buffer into) override;
    void close() override;

private:
    boost::asio::serial_port m_port;
    std::string m_device;
    unsigned m_baud;
};
