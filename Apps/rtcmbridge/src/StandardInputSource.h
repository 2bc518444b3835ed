// Standard input, for any other tool that has the stream: its end is the bridge's end.
#pragma once

#include "ByteSource.h"

#include <boost/asio/posix/stream_descriptor.hpp>

class StandardInputSource final : public ByteSource
{
public:
    explicit StandardInputSource(boost::asio::io_context& io);
    boost::asio::awaitable<std::string> open() override;
    boost::asio::awaitable<std::size_t> readSome(boost::asio::mutable_buffer into) override;
    void close() override;
    bool endsTheBridge() const override { return true; }

private:
    boost::asio::posix::stream_descriptor m_input;
    bool m_regularFile = false;
    bool m_fileOpen = false;
};
