// The source a SOURCE argument names, and system errors as the journal says them.
#include "ByteSource.h"

#include "BridgeOptions.h"
#include "NtripSource.h"
#include "SerialSource.h"
#include "StandardInputSource.h"
#include "TcpSources.h"

#include <boost/asio/error.hpp>

#include <cctype>

std::unique_ptr<ByteSource> makeSource(boost::asio::io_context& io, const BridgeOptions& options)
{
    const SourceAddress& source = options.source;
    switch (source.kind)
    {
    case SourceKind::Ntrip:
        return std::make_unique<NtripSource>(io, source, options.gga, options.ggaEvery);
    case SourceKind::TcpClient:
        return std::make_unique<TcpClientSource>(io, source.host, source.port);
    case SourceKind::TcpServer:
        return std::make_unique<TcpServerSource>(io, source.host, source.port);
    case SourceKind::Serial:
        return std::make_unique<SerialSource>(io, source.device, source.baud);
    case SourceKind::StandardInput:
        break;
    }
    return std::make_unique<StandardInputSource>(io);
}

std::string reasonText(const boost::system::error_code& error)
{
    if (error == boost::asio::error::eof)
        return "closed by the other end";
    std::string text = error.message();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}
