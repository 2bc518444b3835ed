// zeltconsole: the operator's stand-in. Sends one sentence to the logger's command port and prints the
// sentences that come back on the status port.
#include "ConsoleCommand.h"

#include "SuiteProtocol/Sentence.h"
#include "Udp/UdpReceiver.h"
#include "Udp/UdpSender.h"
#include "VivozoVersion.h"

#include <boost/asio/ip/udp.hpp>
#include <boost/system/system_error.hpp>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
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

    // Next datagram, or false when none arrives within the time.
    bool next(std::chrono::milliseconds within, std::string& answer)
    {
        pollfd ready{m_socket.native_handle(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(within.count())) != 1)
            return false;
        std::vector<char> buffer(Udp::UdpReceiver::kMaxDatagram);
        const ssize_t count = ::recv(m_socket.native_handle(), buffer.data(), buffer.size(), 0);
        if (count < 0)
            return false;
        answer.assign(buffer.data(), static_cast<std::size_t>(count));
        return true;
    }

private:
    udp::socket m_socket;
};

std::string printable(std::string_view sentence)
{
    if (sentence.size() >= SuiteProtocol::kSentenceEnd.size() &&
        sentence.substr(sentence.size() - SuiteProtocol::kSentenceEnd.size()) == SuiteProtocol::kSentenceEnd)
        sentence.remove_suffix(SuiteProtocol::kSentenceEnd.size());
    return SuiteProtocol::escapeBytes(sentence, sentence.size());
}

int run(const ConsoleCommand& command)
{
    auto io = std::make_shared<boost::asio::io_context>();
    std::unique_ptr<StatusListener> listener;
    try
    {
        // Listen before sending, so that a fast answer is not missed.
        if (command.wait)
            listener = std::make_unique<StatusListener>(*io, command.listenPort);
    }
    catch (const boost::system::system_error& e)
    {
        std::cerr << "zeltconsole: cannot listen on 127.0.0.1:" << command.listenPort << ": " << e.what()
                  << std::endl;
        return kSocketError;
    }

    try
    {
        Udp::UdpSender sender(io);
        sender.Send(command.sentence, command.host + ":" + std::to_string(command.port));
    }
    catch (const std::exception& e)
    {
        std::cerr << "zeltconsole: cannot send to " << command.host << ":" << command.port << ": " << e.what()
                  << std::endl;
        return kSocketError;
    }
    // Runs the send's completion, which reports a failed send.
    io->run();

    if (!listener)
        return kAnswered;
    int status = kTimedOut;
    std::chrono::milliseconds within(command.timeoutMs);
    std::string answer;
    while (listener->next(within, answer))
    {
        std::cout << printable(answer) << std::endl;
        status = kAnswered;
        within = std::chrono::milliseconds(command.quietMs);
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
    return run(command);
}
