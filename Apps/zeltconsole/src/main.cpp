// zeltconsole: the operator's stand-in. Sends one sentence to the logger's command port and prints the
// sentences that come back on the status port, or watches the logger's status snapshot.
#include "ConsoleCommand.h"
#include "StatusServer.h"
#include "Watch.h"

#include "SuiteProtocol/Sentence.h"
#include "Udp/UdpReceiver.h"
#include "VivozoVersion.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/system_error.hpp>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

namespace
{

using boost::asio::ip::udp;

enum ExitStatus
{
    kAnswered = 0,
    kTimedOut = 1,
    kBadUsage = 2,
    kSocketError = 3,
};

// The status port on the loopback address, bound without SO_REUSEADDR: if another process already
// listens there the answers would go to it, so that is reported instead of waiting in vain.
class StatusListener
{
public:
    StatusListener(boost::asio::io_context& io, std::uint16_t port)
        : m_socket(io, udp::endpoint(boost::asio::ip::address_v4::loopback(), port))
    {
    }

    int fd() { return m_socket.native_handle(); }

    // The datagram waiting on the port, or false.
    bool read(std::string& answer)
    {
        std::vector<char> buffer(Udp::UdpReceiver::kMaxDatagram);
        const ssize_t count = ::recv(fd(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (count < 0)
            return false;
        answer.assign(buffer.data(), static_cast<std::size_t>(count));
        return true;
    }

private:
    udp::socket m_socket;
};

// Connected to the command port, so that the ICMP "port unreachable" of a port nobody listens on comes
// back to this socket as ECONNREFUSED instead of being lost.
class CommandSocket
{
public:
    CommandSocket(boost::asio::io_context& io, const std::string& host, std::uint16_t port) : m_socket(io)
    {
        udp::resolver resolver(io);
        const auto targets = resolver.resolve(udp::v4(), host, std::to_string(port));
        m_socket.open(udp::v4());
        m_socket.connect(targets.begin()->endpoint());
    }

    void send(const std::string& sentence) { m_socket.send(boost::asio::buffer(sentence)); }
    int fd() { return m_socket.native_handle(); }

    // The error the kernel holds for the socket, or 0; reading it clears it.
    int pendingError()
    {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd(), SOL_SOCKET, SO_ERROR, &error, &length);
        return error;
    }

private:
    udp::socket m_socket;
};

enum class Arrival
{
    Answer,
    Refused,
    Nothing,
};

// Waits for an answer on the status port or an error on the command socket.
Arrival nextArrival(StatusListener& listener, CommandSocket& command, std::chrono::milliseconds within,
                    std::string& answer, int& error)
{
    std::array<pollfd, 2> ready{pollfd{listener.fd(), POLLIN, 0}, pollfd{command.fd(), 0, 0}};
    if (::poll(ready.data(), ready.size(), static_cast<int>(within.count())) <= 0)
        return Arrival::Nothing;
    if ((ready[1].revents & POLLERR) != 0 && (error = command.pendingError()) != 0)
        return Arrival::Refused;
    return listener.read(answer) ? Arrival::Answer : Arrival::Nothing;
}

std::string printable(std::string_view sentence)
{
    if (sentence.size() >= SuiteProtocol::kSentenceEnd.size() &&
        sentence.substr(sentence.size() - SuiteProtocol::kSentenceEnd.size()) == SuiteProtocol::kSentenceEnd)
        sentence.remove_suffix(SuiteProtocol::kSentenceEnd.size());
    return SuiteProtocol::escapeBytes(sentence, sentence.size());
}

int run(const ConsoleCommand& command)
{
    boost::asio::io_context io;
    std::unique_ptr<StatusListener> listener;
    try
    {
        // Listen before sending, so that a fast answer is not missed.
        if (command.wait)
            listener = std::make_unique<StatusListener>(io, command.listenPort);
    }
    catch (const boost::system::system_error& e)
    {
        std::cerr << "zeltconsole: cannot listen on 127.0.0.1:" << command.listenPort << ": " << e.what()
                  << std::endl;
        return kSocketError;
    }

    std::unique_ptr<CommandSocket> sender;
    const std::string destination = command.host + ":" + std::to_string(command.port);
    try
    {
        sender = std::make_unique<CommandSocket>(io, command.host, command.port);
        sender->send(command.sentence);
    }
    catch (const std::exception& e)
    {
        std::cerr << "zeltconsole: cannot send to " << destination << ": " << e.what() << std::endl;
        return kSocketError;
    }

    if (!listener)
        return kAnswered;
    int status = kTimedOut;
    std::chrono::milliseconds within(command.timeoutMs);
    std::string answer;
    int error = 0;
    for (Arrival arrival;
         (arrival = nextArrival(*listener, *sender, within, answer, error)) != Arrival::Nothing;)
    {
        if (arrival == Arrival::Refused)
        {
            std::cerr << "zeltconsole: " << destination << " refused the sentence (" << std::strerror(error)
                      << "): is the logger running, and is this its command port?" << std::endl;
            return kSocketError;
        }
        std::cout << printable(answer) << std::endl;
        status = kAnswered;
        within = std::chrono::milliseconds(command.quietMs);
    }
    if (status == kTimedOut && command.startDataPort)
    {
        std::cout << "zeltconsole: start sent to " << destination
                  << "; logging begins with the first datagram"
                  << (*command.startDataPort != 0 ? " on data port " + std::to_string(*command.startDataPort)
                                                  : "")
                  << " (answered \"$PZELT,162,ON\")" << std::endl;
        return kAnswered;
    }
    if (status == kTimedOut)
        std::cerr << "zeltconsole: no answer within " << command.timeoutMs << " ms" << std::endl;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    ConsoleCommand command;
    std::string error;
    if (!parseConsoleCommand(args, command, error))
    {
        std::cerr << "zeltconsole: " << error << "\n(zeltconsole --help explains the commands)" << std::endl;
        return kBadUsage;
    }
    if (command.help)
    {
        std::cout << consoleUsage();
        return 0;
    }
    if (command.version)
    {
        std::cout << "zeltconsole " << VIVOZO_VERSION << std::endl;
        return 0;
    }
    if (command.serves)
        return serveStatus(command.listenAddress, command.statusPath, command.logFolder, command.bridgePaths);
    if (command.watches())
        return watchStatus(command.statusPath, command.once, command.bridgePaths);
    return run(command);
}
