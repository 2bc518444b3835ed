// Helpers for tests on the loopback interface: an event loop run by its own thread, a plain socket to
// send and receive, and a collector of what a receiver delivers.
#pragma once

#include "Udp/UdpReceiver.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace UdpTesting
{

using boost::asio::ip::udp;

class IoThread
{
public:
    IoThread() : io(std::make_shared<boost::asio::io_context>()), m_work(boost::asio::make_work_guard(*io)) {}
    ~IoThread() { stop(); }

    void start()
    {
        m_thread = std::thread([this] { io->run(); });
    }
    void stop()
    {
        m_work.reset();
        io->stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::shared_ptr<boost::asio::io_context> io;

private:
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work;
    std::thread m_thread;
};

// Collects data and log texts from a receiver's callbacks, and lets the test wait for them.
class Collector
{
public:
    void wire(Udp::UdpReceiver& receiver)
    {
        receiver.SetLogCallback(
            [this](std::string text)
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_logs.push_back(std::move(text));
            });
        receiver.SetDataCallback(
            [this](const char* data, std::uint64_t count)
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_datagrams.emplace_back(data, count);
                m_changed.notify_all();
            });
    }

    bool waitForDatagrams(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, timeout, [&] { return m_datagrams.size() >= n; });
    }

    std::vector<std::string> datagrams()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_datagrams;
    }
    std::vector<std::string> logs()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_logs;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_datagrams;
    std::vector<std::string> m_logs;
};

inline void sendTo(std::uint16_t port, const std::string& payload)
{
    boost::asio::io_context io;
    udp::socket socket(io, udp::v4());
    socket.send_to(boost::asio::buffer(payload),
                   udp::endpoint(boost::asio::ip::address_v4::loopback(), port));
}

// A plain socket bound to loopback that the test reads synchronously with a timeout.
class Listener
{
public:
    explicit Listener(std::uint16_t port = 0)
        : m_socket(m_io, udp::endpoint(boost::asio::ip::address_v4::loopback(), port))
    {
    }
    std::uint16_t port() const { return m_socket.local_endpoint().port(); }

    // Next datagram, or false when none arrived within the timeout.
    bool receive(std::string& payload, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        // Plain poll and recv: Boost.Asio's blocking receive waits on through SO_RCVTIMEO.
        pollfd ready{m_socket.native_handle(), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(timeout.count())) != 1)
            return false;
        std::vector<char> buffer(65536);
        const ssize_t n = ::recv(m_socket.native_handle(), buffer.data(), buffer.size(), 0);
        if (n < 0)
            return false;
        payload.assign(buffer.data(), n);
        return true;
    }

private:
    boost::asio::io_context m_io;
    udp::socket m_socket;
};

// Polls a condition that another thread makes true.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace UdpTesting
