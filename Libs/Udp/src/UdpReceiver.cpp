// UdpReceiver on Boost.Asio: one receive outstanding at a time, every completion and all socket work of
// Stop and Restart serialised on the receiver's strand.
#include "Udp/UdpReceiver.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/system/system_error.hpp>

#include <array>
#include <atomic>
#include <future>
#include <iostream>
#include <mutex>

namespace Udp
{

using boost::asio::ip::udp;
using Strand = boost::asio::strand<boost::asio::io_context::executor_type>;

struct UdpReceiver::State : std::enable_shared_from_this<UdpReceiver::State>
{
    explicit State(boost::asio::io_context& context) : io(context), strand(boost::asio::make_strand(context))
    {
        socket = openSocket();
    }

    boost::asio::io_context& io;
    std::mutex dataLock; // lets the owner swap or clear a callback while the IO thread may be calling it
    DataCallback data;
    std::mutex logLock;
    LogCallback log;
    std::atomic<bool> stopped{false};
    Strand strand;
    std::unique_ptr<udp::socket> socket;
    std::array<char, kMaxDatagram> buffer{};
    udp::endpoint sender;

    // Bumped whenever the socket is closed or replaced, so a completion of an older socket never posts
    // a receive on the new one. Touched on the strand only.
    unsigned generation = 0;
    // Set when a receive loop first begins: until then nothing of this receiver can run on the IO thread.
    std::atomic<bool> receiving{false};
    std::atomic<std::uint16_t> boundPort{0};
    boost::asio::ip::address_v4 address = boost::asio::ip::address_v4::any();

    std::unique_ptr<udp::socket> openSocket()
    {
        auto fresh = std::make_unique<udp::socket>(strand);
        boost::system::error_code ec;
        fresh->open(udp::v4(), ec);
        if (ec)
            throw boost::system::system_error(ec, "open");
        return fresh;
    }

    void report(std::string text)
    {
        std::lock_guard<std::mutex> guard(logLock);
        if (log)
            log(std::move(text));
    }

    void reportReceiveBufferSize()
    {
        boost::system::error_code ec;
        boost::asio::socket_base::receive_buffer_size got;
        socket->get_option(got, ec);
        // The kernel caps the request at net.core.rmem_max, so say what was actually granted.
        if (!ec)
            report("Receive buffer size " + std::to_string(got.value()) + " of " +
                   std::to_string(kReceiveBufferBytes) + " requested");
    }

    void postReceive()
    {
        const unsigned mine = generation;
        socket->async_receive_from(
            boost::asio::buffer(buffer), sender,
            boost::asio::bind_executor(strand, [self = shared_from_this(),
                                                mine](const boost::system::error_code& ec, std::size_t count)
                                       { self->onReceive(mine, ec, count); }));
    }

    void onReceive(unsigned mine, const boost::system::error_code& ec, std::size_t count)
    {
        if (mine != generation)
            return;
        // A datagram cut to the buffer still counts as received.
        if ((!ec || ec == boost::asio::error::message_size) && count != 0)
            deliver(count);
        // The callback may have stopped or restarted the receiver: then the loop is no longer ours.
        if (mine != generation || stopped || ec == boost::asio::error::operation_aborted)
            return;
        postReceive();
    }

    void deliver(std::size_t count)
    {
        std::lock_guard<std::mutex> guard(dataLock);
        if (!data)
            return;
        // An exception must not end the IO thread, which serves every receiver of the process.
        try
        {
            data(buffer.data(), count);
        }
        catch (const std::exception& e)
        {
            report(std::string("data callback failed: ") + e.what());
        }
    }

    void closeSocket()
    {
        ++generation;
        boundPort = 0;
        boost::system::error_code ec;
        socket->close(ec);
        if (ec)
            std::cerr << ec.message();
    }

    // Socket work never overlaps a completion of this receiver: it runs on the strand, and the caller
    // waits for it. It runs at once where nothing else can touch the socket: on the strand, before the
    // first receive, or once the event loop has stopped. The IO thread itself cannot wait for its own
    // strand, so from there the work is only posted.
    template <class Work> void onStrand(Work work)
    {
        if (strand.running_in_this_thread() || !receiving || io.stopped())
        {
            work();
            return;
        }
        if (io.get_executor().running_in_this_thread())
        {
            boost::asio::post(strand, [self = shared_from_this(), work]() { work(); });
            return;
        }
        std::packaged_task<void()> task([self = shared_from_this(), work]() { work(); });
        std::future<void> done = task.get_future();
        boost::asio::post(strand, std::move(task));
        done.wait();
    }

    void bindTo(std::uint16_t port)
    {
        boost::system::error_code ec;
        socket->bind(udp::endpoint(address, port), ec);
        if (ec)
            throw boost::system::system_error(ec, "bind");
        boundPort = socket->local_endpoint(ec).port();
    }

    void setReuse()
    {
        boost::system::error_code ec;
        socket->set_option(boost::asio::socket_base::reuse_address(true), ec);
        if (ec)
            throw boost::system::system_error(ec, "set_option");
    }

    void setReceiveBuffer()
    {
        boost::system::error_code ec;
        socket->set_option(boost::asio::socket_base::receive_buffer_size(kReceiveBufferBytes), ec);
        if (ec)
            throw boost::system::system_error(ec, "set_option");
    }

    void restart(std::int32_t port)
    {
        stopped = true;
        closeSocket();
        try
        {
            socket = openSocket();
            report("Set reuse_address to true");
            setReuse();
            report("Bind to input port " + std::to_string(port));
            // The low 16 bits, as the socket call takes them.
            bindTo(static_cast<std::uint16_t>(port));
            report("Bound to input port");
            setReceiveBuffer();
            report("Logging starting");
            reportReceiveBufferSize();
            stopped = false;
            receiving = true;
            postReceive();
        }
        catch (const std::exception& e)
        {
            report(e.what());
            boost::system::error_code ignored;
            socket->close(ignored);
            boundPort = 0;
        }
    }
};

UdpReceiver::UdpReceiver(boost::asio::io_context& io) : m_state(std::make_shared<State>(io)) {}

UdpReceiver::~UdpReceiver()
{
    m_state->onStrand(
        [state = m_state.get()]()
        {
            state->stopped = true;
            state->closeSocket();
        });
    {
        std::lock_guard<std::mutex> guard(m_state->dataLock);
        m_state->data = nullptr;
    }
    std::lock_guard<std::mutex> guard(m_state->logLock);
    m_state->log = nullptr;
}

void UdpReceiver::SetDataCallback(DataCallback callback)
{
    std::lock_guard<std::mutex> guard(m_state->dataLock);
    m_state->data = std::move(callback);
}

void UdpReceiver::SetLogCallback(LogCallback callback)
{
    std::lock_guard<std::mutex> guard(m_state->logLock);
    m_state->log = std::move(callback);
}

void UdpReceiver::Start(std::uint16_t port, Interfaces interfaces)
{
    State& s = *m_state;
    s.address = interfaces == Interfaces::LoopbackOnly ? boost::asio::ip::address_v4::loopback()
                                                       : boost::asio::ip::address_v4::any();
    s.report("Set reuse_address to true");
    s.setReuse();
    s.report("Bind to input port " + std::to_string(port));
    s.bindTo(port);
    s.report("Bound to input port");
    s.setReceiveBuffer();
    s.report("UDP receive starting");
    s.reportReceiveBufferSize();
    s.stopped = false;
    s.receiving = true;
    s.postReceive();
}

void UdpReceiver::Restart(std::int32_t port)
{
    m_state->onStrand([state = m_state.get(), port]() { state->restart(port); });
}

void UdpReceiver::Stop()
{
    m_state->onStrand(
        [state = m_state.get()]()
        {
            state->stopped = true;
            state->closeSocket();
        });
}

std::uint16_t UdpReceiver::LocalPort() const
{
    return m_state->boundPort;
}

} // namespace Udp
