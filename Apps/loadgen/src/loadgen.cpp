// The load generator: sends numbered datagrams at a set rate to a UDP port and follows the file they
// are written to, counting lost, reordered and corrupted datagrams and the latency into the file.
//
//   loadgen --port P --file PATH [--count N] [--size S] [--rate R] [--settle-ms T] [--max-latency-ms L]
//
// Each datagram holds its sequence number and send time in its first 16 bytes and a pattern derived
// from the sequence number after them, so the file alone tells what arrived, in which order and intact.
// Exit status 0 when every datagram is in the file once, in order and unchanged (and, with
// --max-latency-ms, none took longer than that from its send to the file).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr std::size_t kHeaderSize = 16;

struct Options
{
    int port = 3011;
    std::string file;
    std::uint64_t count = 200000;
    std::size_t size = 200;
    double rate = 20000.0;
    int settleMs = 3000;     // how long the file may stay still after the last send before the check ends
    double maxLatencyMs = 0; // 0: any latency passes
};

struct Result
{
    std::uint64_t received = 0;
    std::uint64_t reordered = 0;
    std::uint64_t corrupted = 0;
    std::uint64_t duplicates = 0;
    std::vector<std::int64_t> latencyNs;
    Clock::time_point lastArrival{};
};

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

unsigned char pattern(std::uint64_t sequence, std::size_t index)
{
    return static_cast<unsigned char>(sequence * 31 + index * 7);
}

void fill(std::vector<unsigned char>& datagram, std::uint64_t sequence)
{
    const std::int64_t sent = nowNs();
    std::memcpy(datagram.data(), &sequence, 8);
    std::memcpy(datagram.data() + 8, &sent, 8);
    for (std::size_t i = kHeaderSize; i < datagram.size(); ++i)
        datagram[i] = pattern(sequence, i);
}

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--port")
            options.port = std::atoi(value);
        else if (name == "--file")
            options.file = value;
        else if (name == "--count")
            options.count = std::strtoull(value, nullptr, 10);
        else if (name == "--size")
            options.size = std::strtoul(value, nullptr, 10);
        else if (name == "--rate")
            options.rate = std::atof(value);
        else if (name == "--settle-ms")
            options.settleMs = std::atoi(value);
        else if (name == "--max-latency-ms")
            options.maxLatencyMs = std::atof(value);
        else
            return false;
    }
    return (argc % 2) == 1 && !options.file.empty() && options.size >= kHeaderSize && options.size <= 65507 &&
           options.rate > 0 && options.count > 0;
}

// Follows the file from its start; ends when every datagram is in or the file stays still long enough
// after the sender finished.
void follow(const Options& options, const std::atomic<bool>& sendDone, Result& result)
{
    int fd = -1;
    std::vector<unsigned char> pending;
    std::vector<unsigned char> chunk(1 << 20);
    std::uint64_t next = 0;
    std::vector<bool> seen(options.count, false);
    Clock::time_point stillSince = Clock::now();
    while (result.received < options.count)
    {
        if (fd < 0)
            fd = ::open(options.file.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t got = fd >= 0 ? ::read(fd, chunk.data(), chunk.size()) : 0;
        if (got <= 0)
        {
            if (!sendDone.load())
                stillSince = Clock::now();
            else if (Clock::now() - stillSince > std::chrono::milliseconds(options.settleMs))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        const std::int64_t arrived = nowNs();
        stillSince = Clock::now();
        result.lastArrival = stillSince;
        pending.insert(pending.end(), chunk.begin(), chunk.begin() + got);
        std::size_t at = 0;
        for (; at + options.size <= pending.size(); at += options.size)
        {
            const unsigned char* record = pending.data() + at;
            std::uint64_t sequence = 0;
            std::int64_t sent = 0;
            std::memcpy(&sequence, record, 8);
            std::memcpy(&sent, record + 8, 8);
            bool intact = sequence < options.count;
            for (std::size_t i = kHeaderSize; intact && i < options.size; ++i)
                intact = record[i] == pattern(sequence, i);
            if (!intact)
            {
                ++result.corrupted;
                continue;
            }
            if (seen[sequence])
            {
                ++result.duplicates;
                continue;
            }
            seen[sequence] = true;
            if (sequence < next)
                ++result.reordered;
            next = std::max(next, sequence + 1);
            ++result.received;
            result.latencyNs.push_back(arrived - sent);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (fd >= 0)
        ::close(fd);
}

double percentile(std::vector<std::int64_t>& values, double share)
{
    if (values.empty())
        return 0.0;
    const std::size_t index = std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index] / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options))
    {
        std::fprintf(stderr,
                     "usage: %s --port P --file PATH [--count N] [--size S] [--rate R] [--settle-ms T] "
                     "[--max-latency-ms L]\n",
                     argv[0]);
        return 2;
    }
    // Sleeps of a few tens of microseconds must not stretch to the default slack of 50 us.
    ::prctl(PR_SET_TIMERSLACK, 1UL);

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        std::perror("loadgen: socket");
        return 2;
    }

    std::atomic<bool> sendDone{false};
    Result result;
    std::thread follower([&] { follow(options, sendDone, result); });

    std::vector<unsigned char> datagram(options.size);
    const auto start = Clock::now();
    const double periodNs = 1e9 / options.rate;
    std::uint64_t sendErrors = 0;
    for (std::uint64_t sequence = 0; sequence < options.count; ++sequence)
    {
        const auto due = start + std::chrono::nanoseconds(static_cast<std::int64_t>(sequence * periodNs));
        if (due > Clock::now())
            std::this_thread::sleep_until(due);
        fill(datagram, sequence);
        if (::send(fd, datagram.data(), datagram.size(), 0) != static_cast<ssize_t>(datagram.size()))
            ++sendErrors;
    }
    const auto sendEnd = Clock::now();
    sendDone = true;
    follower.join();
    ::close(fd);

    const double sendSeconds = std::chrono::duration<double>(sendEnd - start).count();
    const double fileSeconds = std::chrono::duration<double>(result.lastArrival - start).count();
    const std::uint64_t lost = options.count - result.received;
    const double p50 = percentile(result.latencyNs, 0.50);
    const double p99 = percentile(result.latencyNs, 0.99);
    const double maxUs = result.latencyNs.empty()
                             ? 0.0
                             : *std::max_element(result.latencyNs.begin(), result.latencyNs.end()) / 1000.0;
    std::printf(
        "sent %" PRIu64 " x %zu bytes at %.0f/s (achieved %.0f/s over %.2f s, %" PRIu64 " send errors)\n",
        options.count, options.size, options.rate, options.count / sendSeconds, sendSeconds, sendErrors);
    std::printf("in file %" PRIu64 ": lost %" PRIu64 ", reordered %" PRIu64 ", corrupted %" PRIu64
                ", duplicated %" PRIu64 "\n",
                result.received, lost, result.reordered, result.corrupted, result.duplicates);
    std::printf(
        "throughput %.0f datagrams/s (%.2f MB/s); latency send->file p50 %.0f us, p99 %.0f us, max %.0f us\n",
        fileSeconds > 0 ? result.received / fileSeconds : 0.0,
        fileSeconds > 0 ? result.received * options.size / fileSeconds / 1e6 : 0.0, p50, p99, maxUs);
    const bool slow = options.maxLatencyMs > 0 && maxUs > options.maxLatencyMs * 1000.0;
    const bool lossless =
        lost == 0 && result.reordered == 0 && result.corrupted == 0 && result.duplicates == 0;
    std::printf("%s\n", !lossless ? "RESULT: LOSS" : (slow ? "RESULT: TOO SLOW" : "RESULT: no loss"));
    return lossless && !slow ? 0 : 1;
}
