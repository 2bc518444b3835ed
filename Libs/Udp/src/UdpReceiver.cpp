// UdpReceiver on Boost.Asio: one receive outstanding at a time, every completion and all socket work of
// Stop and Restart serialised on the receiver's strand.
#include "Udp/UdpReceiver.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/system/system_error.hpp>

#include <linux/sock_diag.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <iostream>
#include <mutex>
#include <utility>

namespace Udp
{

using boost::asio::ip::udp;
using Strand = boost::asio::strand<boost::asio::io_context::executor_type>;

namespace
{

// A sender that never pauses must not hold the end of reception for ever.
constexpr std::chrono::milliseconds kFinishLimit{500};

// The kernel's count of datagrams it dropped for this socket (a full receive buffer, mostly); 0 for a
// closed socket.
std::uint32_t socketDrops(int fd)
{
    std::array<std::uint32_t, SK_MEMINFO_VARS> meminfo{};
    socklen_t length = sizeof meminfo;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, meminfo.data(), &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof(std::uint32_t))
        return 0;
    return meminfo[SK_MEMINFO_DROPS];
}

} // namespace

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
    // Drops of the sockets already closed; the open one's are read from the kernel when asked.
    std::atomic<std::uint64_t> closedSocketDrops{0};
    std::atomic<int> socketHandle{-1};
    // A receive is posted and its completion has not run yet. Touched on the strand only.
    bool outstanding = false;
    // Set by Finish: the next completion reads what the socket holds, then closes it.
    std::shared_ptr<std::promise<void>> finished;
    boost::asio::ip::address_v4 address = boost::asio::ip::address_v4::any();

    std::unique_ptr<udp::socket> openSocket()
    {
        auto fresh = std::make_unique<udp::socket>(strand);
        boost::system::error_code ec;
        fresh->open(udp::v4(), ec);
        if (ec)
            throw boost::system::system_error(ec, "open");
        socketHandle = fresh->native_handle();
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
        outstanding = true;
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
        outstanding = false;
        // A datagram cut to the buffer still counts as received.
        if ((!ec || ec == boost::asio::error::message_size) && count != 0)
            deliver(count);
        if (finished)
        {
            readWhatIsHeld();
            return;
        }
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
        closedSocketDrops += socketDrops(socketHandle.exchange(-1));
        boost::system::error_code ec;
        socket->close(ec);
        if (ec)
            std::cerr << ec.message();
    }

    void stop()
    {
        stopped = true;
        closeSocket();
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

    // On the strand, after the last completion: every datagram the kernel already holds for the socket
    // goes to the callback in order, then the socket closes.
    void readWhatIsHeld()
    {
        boost::system::error_code ec;
        socket->non_blocking(true, ec);
        const auto limit = std::chrono::steady_clock::now() + kFinishLimit;
        while (!ec && socket->is_open() && std::chrono::steady_clock::now() < limit)
        {
            const std::size_t count = socket->receive_from(boost::asio::buffer(buffer), sender, 0, ec);
            if (ec == boost::asio::error::message_size)
                ec = {};
            if (!ec && count != 0)
                deliver(count);
        }
        stop();
        std::exchange(finished, nullptr)->set_value();
    }

    // Lets the outstanding receive complete first (cancelled, or with the datagram it already took),
    // so that nothing overtakes it.
    void finish(std::shared_ptr<std::promise<void>> done)
    {
        finished = std::move(done);
        // Without a running loop no completion would come.
        if (!outstanding || stopped || io.stopped())
        {
            readWhatIsHeld();
            return;
        }
        boost::system::error_code ignored;
        socket->cancel(ignored);
    }

    void bindTo(std::uint16_t port)
    {
        boost::system::error_code ec;
        socket->bind(udp::endpoint(address, port), ec);
        if (ec)
            throw boost::system::system_error(ec, "bind");
        boundPort = socket->local_endpoint(ec).port();
    }

    void setReceiveBuffer()
    {
        boost::system::error_code ec;
        socket->set_option(boost::asio::socket_base::receive_buffer_size(kReceiveBufferBytes), ec);
        if (ec)
            throw boost::system::system_error(ec, "set_option");
    }

    // The bind sequence of Start and Restart, each step reported; started says that the loop runs.
    void bindAndReceive(std::int32_t port, const std::string& started)
    {
        report("Bind to input port " + std::to_string(port));
        // The low 16 bits, as the socket call takes them.
        bindTo(static_cast<std::uint16_t>(port));
        report("Bound to input port");
        setReceiveBuffer();
        report(started);
        reportReceiveBufferSize();
        stopped = false;
        receiving = true;
        postReceive();
    }

    void restart(std::int32_t port, const std::string& started)
    {
        stop();
        try
        {
            socket = openSocket();
            bindAndReceive(port, started);
        }
        catch (const std::exception& e)
        {
            report(e.what());
            closeSocket();
        }
    }
};

UdpReceiver::UdpReceiver(boost::asio::io_context& io) : m_state(std::make_shared<State>(io)) {}

UdpReceiver::~UdpReceiver()
{
    m_state->onStrand([state = m_state.get()]() { state->stop(); });
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
    s.bindAndReceive(port, "UDP receive starting");
}

void UdpReceiver::Restart(std::int32_t port, std::string started)
{
    m_state->onStrand([state = m_state.get(), port, started = std::move(started)]()
                      { state->restart(port, started); });
}

void UdpReceiver::Stop()
{
    m_state->onStrand([state = m_state.get()]() { state->stop(); });
}

void UdpReceiver::Finish()
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    m_state->onStrand([state = m_state.get(), done]() { state->finish(done); });
    finished.wait();
}

std::uint64_t UdpReceiver::KernelDrops() const
{
    return m_state->closedSocketDrops + socketDrops(m_state->socketHandle);
}

std::uint16_t UdpReceiver::LocalPort() const
{
    return m_state->boundPort;
}

} // namespace Udp
