// UdpReceiver: receives UDP datagrams on one local port and hands each one, unparsed, to a data callback;
// reports its progress and failures as short texts through a log callback.
#pragma once

#include <boost/asio/io_context.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Udp
{

// Where a receiver listens: every interface, or the loopback interface only (peers on this host).
enum class Interfaces
{
    All,
    LoopbackOnly,
};

class UdpReceiver
{
public:
    // The datagram's bytes and count. The bytes are the receiver's own buffer: valid until the callback
    // returns, so a callback that keeps them copies them.
    using DataCallback = std::function<void(const char* data, std::uint64_t count)>;
    using LogCallback = std::function<void(std::string text)>;

    static constexpr std::size_t kMaxDatagram = 65535;
    static constexpr int kReceiveBufferBytes = 32000000;

    // Opens an IPv4 UDP socket on a strand of the event loop; throws boost::system::system_error ("open").
    // The event loop must outlive the receiver.
    explicit UdpReceiver(boost::asio::io_context& io);

    // Stops reception; no callback runs once the destructor has returned.
    ~UdpReceiver();

    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // An empty callback drops datagrams (texts). Safe from any thread except from inside the same callback.
    void SetDataCallback(DataCallback callback);
    void SetLogCallback(LogCallback callback);

    // First start, before anything runs the event loop for this receiver: bind 0.0.0.0:port (127.0.0.1:port
    // for the loopback only), SO_RCVBUF, then the receive loop. Throws boost::system::system_error
    // ("set_option" or "bind"). No address reuse: while the receiver holds its port, nobody else binds it.
    void Start(std::uint16_t port, Interfaces interfaces = Interfaces::All);

    // Rebinds on a fresh socket, on the interfaces of Start, to the low 16 bits of port, reporting started
    // where Start reports "UDP receive starting". Never throws: a failure goes to the log callback and
    // leaves the receiver stopped and unbound (LocalPort 0).
    // Once Start has run, the event loop must be running on another thread (or have stopped) for Stop,
    // Restart and the destructor, which wait for their socket work on the receiver's strand.
    void Restart(std::int32_t port, std::string started);

    // Closes the socket; the outstanding receive ends without a successor.
    void Stop();

    // Stops as Stop does, but first hands the callback every datagram the socket already holds (for at
    // most half a second). Not from inside a callback.
    void Finish();

    // Datagrams the kernel dropped for this receiver's sockets since it was created, a full receive
    // buffer mostly. Reads a counter of the open socket; call it from the thread that stops and
    // restarts the receiver.
    std::uint64_t KernelDrops() const;

    // Port the socket is bound to, 0 when not bound.
    std::uint16_t LocalPort() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace Udp
