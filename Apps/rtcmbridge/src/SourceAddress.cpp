// Takes SOURCE apart: ntrip://[user[:password]@]host[:port]/MOUNT, tcp://host:port,
// tcpserver://[addr]:port, serial:///dev/ttyX[:baud] or - for standard input.
#include "SourceAddress.h"

#include "Platform/DecimalText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

namespace
{

// The rates a serial port's termios knows by name.
constexpr std::array<unsigned, 14> kBaudRates{1200,   2400,   4800,   9600,   19200,  38400,  57600,
                                              115200, 230400, 460800, 500000, 576000, 921600, 1000000};

// user and password may carry reserved characters as %XX, as in any URL.
bool percentDecoded(const std::string& text, std::string& decoded)
{
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return false;
        decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return true;
}

// host:port, [v6]:port or, where the port may be left out, host alone.
bool splitHostPort(const std::string& text, std::uint16_t defaultPort, std::string& host, std::uint16_t& port,
                   std::string& error)
{
    std::size_t colon = text.rfind(':');
    if (!text.empty() && text[0] == '[')
    {
        const std::size_t close = text.find(']');
        host = close == std::string::npos ? "" : text.substr(1, close - 1);
        colon = close != std::string::npos && close + 1 < text.size() && text[close + 1] == ':'
                    ? close + 1
                    : std::string::npos;
    }
    else
    {
        host = text.substr(0, colon);
    }
    if (colon == std::string::npos && defaultPort == 0)
    {
        error = "\"" + text + "\" names no port";
        return false;
    }
    const auto number = colon == std::string::npos ? std::optional<std::int64_t>(defaultPort)
                                                   : Platform::wholeDecimal(text.substr(colon + 1), 1, 65535);
    if (!number)
    {
        error = "\"" + text + "\" needs a port from 1 to 65535";
        return false;
    }
    port = static_cast<std::uint16_t>(*number);
    return true;
}

bool parseNtrip(const std::string& rest, SourceAddress& address, std::string& error)
{
    const std::size_t slash = rest.find('/', rest.rfind('@') == std::string::npos ? 0 : rest.rfind('@'));
    const std::string authority = rest.substr(0, slash);
    address.mountpoint = slash == std::string::npos ? "" : rest.substr(slash + 1);
    if (address.mountpoint.empty())
    {
        error = "an NTRIP source names its mountpoint: ntrip://[user[:password]@]host[:port]/MOUNT";
        return false;
    }
    const std::size_t at = authority.rfind('@');
    std::string hostPort = authority;
    std::string shownUser;
    if (at != std::string::npos)
    {
        const std::string userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        address.hasUser = true;
        shownUser = userInfo.substr(0, colon) + "@";
        if (!percentDecoded(userInfo.substr(0, colon), address.user) ||
            !percentDecoded(colon == std::string::npos ? "" : userInfo.substr(colon + 1), address.password))
        {
            error = "a user or password with a % that is not followed by two hex digits";
            return false;
        }
        hostPort = authority.substr(at + 1);
    }
    if (!splitHostPort(hostPort, kNtripDefaultPort, address.host, address.port, error))
        return false;
    address.shown = "ntrip://" + shownUser + hostPort + "/" + address.mountpoint;
    return true;
}

} // namespace

bool parseSource(const std::string& text, SourceAddress& address, std::string& error)
{
    address = SourceAddress{};
    // It goes into a request line and a header (a line end copied from a configuration file would start
    // another), the journal and the status: a reserved character is written %XX.
    if (std::ranges::any_of(text, [](unsigned char c) { return c <= ' ' || c == 0x7F; }))
    {
        error = "a source holds no blank or control character (write one in a user or password as %XX)";
        return false;
    }
    address.shown = text;
    const auto after = [&](const char* scheme) -> std::optional<std::string>
    {
        const std::string prefix = std::string(scheme) + "://";
        if (text.rfind(prefix, 0) != 0)
            return std::nullopt;
        return text.substr(prefix.size());
    };
    if (text == "-")
    {
        address.shown = "standard input";
        return true;
    }
    if (const auto rest = after("ntrip"))
    {
        address.kind = SourceKind::Ntrip;
        return parseNtrip(*rest, address, error);
    }
    if (const auto rest = after("tcp"))
    {
        address.kind = SourceKind::TcpClient;
        return splitHostPort(*rest, 0, address.host, address.port, error);
    }
    if (const auto rest = after("tcpserver"))
    {
        address.kind = SourceKind::TcpServer;
        return splitHostPort(*rest, 0, address.host, address.port, error);
    }
    if (const auto rest = after("serial"))
    {
        address.kind = SourceKind::Serial;
        const std::size_t colon = rest->rfind(':');
        address.device = rest->substr(0, colon);
        if (colon != std::string::npos)
        {
            const auto baud = Platform::wholeDecimal(rest->substr(colon + 1), 1, 100000000);
            if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end())
            {
                error = "\"" + rest->substr(colon + 1) + "\" is no baud rate a serial port knows";
                return false;
            }
            address.baud = static_cast<unsigned>(*baud);
        }
        if (address.device.empty() || address.device[0] != '/')
        {
            error = "a serial source names its device by its path: serial:///dev/ttyUSB0[:baud]";
            return false;
        }
        return true;
    }
    // Up to its first ':' or '@' only: what follows may be a password, and this goes to the journal.
    error = "\"" + text.substr(0, text.find_first_of(":@")) +
            "\" begins no source: ntrip://, tcp://, tcpserver://, serial:// or - for standard input";
    return false;
}
