// Where the bridge reads its bytes: the SOURCE argument taken apart.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::uint16_t kNtripDefaultPort = 2101;
inline constexpr unsigned kDefaultBaud = 115200;

enum class SourceKind
{
    Ntrip,
    TcpClient,
    TcpServer,
    Serial,
    StandardInput,
};

struct SourceAddress
{
    SourceKind kind = SourceKind::StandardInput;
    std::string host; // ntrip and tcp: the peer; tcpserver: the address listened on (empty: every one)
    std::uint16_t port = 0;
    bool hasUser = false; // ntrip
    std::string user;
    std::string password;
    std::string mountpoint;
    std::string device; // serial
    unsigned baud = kDefaultBaud;
    std::string shown; // as written, without the password: what the journal and the status show
};

// False with the reason for a source the bridge can not read.
bool parseSource(const std::string& text, SourceAddress& address, std::string& error);
