// Receiver-to-callback throughput of 200-byte datagrams on loopback, and the bytes copied per datagram on
// the way from the socket to the signal that carries the datagram.
#include "Udp/UdpReceiver.h"

#include <benchmark/benchmark.h>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/udp.hpp>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace
{

using boost::asio::ip::udp;

constexpr std::size_t kDatagramBytes = 200;
constexpr int kBatch = 64;

// Arg 0: the receiver's view, copied once into the signal's buffer as the control does.
// Arg 1: additionally a whole 65,535-byte block per datagram, as a by-value callback would copy.
void ReceiverToCallback(benchmark::State& state)
{
    const bool wholeBlock = state.range(0) != 0;
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    std::atomic<std::uint64_t> received{0};
    std::uint64_t copied = 0; // IO thread only until it is joined
    std::vector<char> block(Udp::UdpReceiver::kMaxDatagram);

    auto receiver = std::make_unique<Udp::UdpReceiver>(io);
    receiver->SetDataCallback(
        [&](const char* data, std::uint64_t count)
        {
            if (wholeBlock)
            {
                std::memcpy(block.data(), data, block.size());
                copied += block.size();
                data = block.data();
            }
            auto signalBytes = std::make_unique<char[]>(count);
            std::memcpy(signalBytes.get(), data, count);
            benchmark::DoNotOptimize(signalBytes.get());
            copied += count;
            received.fetch_add(1, std::memory_order_release);
        });
    receiver->Start(0);
    std::thread ioThread([&io] { io.run(); });

    udp::socket sender(io, udp::v4());
    sender.connect(udp::endpoint(boost::asio::ip::address_v4::loopback(), receiver->LocalPort()));
    const std::vector<char> payload(kDatagramBytes, 'r');
    std::uint64_t sent = 0;

    for (auto _ : state)
    {
        for (int i = 0; i < kBatch; ++i)
            sender.send(boost::asio::buffer(payload));
        sent += kBatch;
        // Wait for the batch so the socket buffer never overflows; a lost datagram costs at most a second.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (received.load(std::memory_order_acquire) < sent && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }

    receiver.reset();
    work.reset();
    io.stop();
    ioThread.join();

    const double got = static_cast<double>(received.load());
    state.SetItemsProcessed(static_cast<std::int64_t>(got));
    state.counters["datagrams/s"] = benchmark::Counter(got, benchmark::Counter::kIsRate);
    state.counters["bytes_copied/datagram"] = got > 0 ? static_cast<double>(copied) / got : 0;
    state.counters["lost"] = static_cast<double>(sent) - got;
}

BENCHMARK(ReceiverToCallback)->ArgName("whole_block")->Arg(0)->Arg(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
