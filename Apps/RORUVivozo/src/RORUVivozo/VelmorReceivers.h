// The logger's two UDP receivers on one IO context and its thread: the data port, which a start may
// move, and the command port. What they receive goes to the owner's callbacks on the IO thread.
#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace Udp
{
class UdpReceiver;
enum class Interfaces;
} // namespace Udp

// The receivers could not take up their ports at start-up; the text names the port and the reason.
class CVelmorStartError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class CVelmorReceivers
{
public:
    using Received = std::function<void(const char* data, std::uint64_t count)>;
    // One finished trace line (begins with "\n\t"), from either thread.
    using Trace = std::function<void(const std::string& line)>;
    struct Callbacks
    {
        Received datagram;
        Received command;
        Trace receiverText; // what the receivers themselves say
        Trace trace;
    };

    explicit CVelmorReceivers(Callbacks callbacks);
    ~CVelmorReceivers();
    CVelmorReceivers(const CVelmorReceivers&) = delete;
    CVelmorReceivers& operator=(const CVelmorReceivers&) = delete;

    // Binds both ports and starts the IO thread; throws CVelmorStartError naming the port and reason.
    void start(std::int32_t dataPort, std::uint16_t commandPort, bool commandsFromAllInterfaces);
    const std::shared_ptr<boost::asio::io_context>& context() const { return m_io; }

    // The port of the last start, bound or not.
    std::int32_t dataPort() const { return m_dataPort; }
    bool dataPortBound() const;
    // A port that a start gives: refused, kept, or bound (its bind failure traced).
    void takeDataPort(std::int32_t port);
    // A data port whose bind failed is tried again.
    void retryDataPortBind();
    std::uint64_t kernelDrops() const;
    bool started() const { return m_dataReceiver != nullptr; }

    // The end: no more commands; what the data socket already holds is delivered. Returns the count of
    // datagrams delivered in all.
    std::uint64_t stopReceiving();
    // Gives the IO thread up to the limit to send what is queued, then ends it.
    void finish(std::chrono::milliseconds lastSendsLimit);

private:
    void startReceiver(Udp::UdpReceiver& receiver, std::uint16_t port, Udp::Interfaces interfaces,
                       const char* role);
    void bindDataPort(std::int32_t port);
    void runIoThread();

    Callbacks m_callbacks;
    std::int32_t m_dataPort = 0;
    std::int32_t m_unboundDataPort = 0; // a port whose bind failed, tried again by retryDataPortBind
    // Declared before the receivers, so that it outlives the sockets that live on it.
    std::shared_ptr<boost::asio::io_context> m_io;
    std::unique_ptr<Udp::UdpReceiver> m_dataReceiver;
    std::unique_ptr<Udp::UdpReceiver> m_commandReceiver;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> m_ioWork;
    std::thread m_ioThread;
    std::atomic<std::uint64_t> m_datagramsReceived{0};
};
