// A receiver's serial or USB port, raw 8N1.
#include "SerialSource.h"

#include <boost/asio/use_awaitable.hpp>

namespace asio = boost::asio;
using Port = asio::serial_port;

SerialSource::SerialSource(asio::io_context& io, std::string device, unsigned baud)
    : m_port(io), m_device(std::move(device)), m_baud(baud)
{
}

asio::awaitable<std::string> SerialSource::open()
{
    // Asio opens the port raw (no echo, no line editing, no translation); 8N1 without flow control on top.
    boost::system::error_code error;
    m_port.open(m_device, error);
    if (!error)
        m_port.set_option(Port::baud_rate(m_baud), error);
    if (!error)
        m_port.set_option(Port::character_size(8), error);
    if (!error)
        m_port.set_option(Port::parity(Port::parity::none), error);
    if (!error)
        m_port.set_option(Port::stop_bits(Port::stop_bits::one), error);
    if (!error)
        m_port.set_option(Port::flow_control(Port::flow_control::none), error);
    if (error)
    {
        close();
        throw SourceFailure(m_device + ": " + reasonText(error));
    }
    co_return m_device + " at " + std::to_string(m_baud) + " baud";
}

asio::awaitable<std::size_t> SerialSource::readSome(asio::mutable_buffer into)
{
    co_return co_await m_port.async_read_some(into, asio::use_awaitable);
}

void SerialSource::close()
{
    boost::system::error_code ignored;
    m_port.close(ignored);
}
