// Replays an RTCM 3 capture as datagrams: every frame of the file, one frame per datagram, in order,
// at a steady rate, to 127.0.0.1:PORT, the way a correction link delivers them.
//
//   rtcmreplay FILE PORT [FRAMES_PER_SECOND [SENT_FILE]]
//
// Bytes outside frames are left out; SENT_FILE receives exactly the bytes sent, to compare a log with.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Rtcm3/FrameSplit.h"
#include "VivozoVersion.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace
{

void usage(std::FILE* out)
{
    std::fputs("usage: rtcmreplay FILE PORT [FRAMES_PER_SECOND [SENT_FILE]]\n"
               "       rtcmreplay --help | --version\n"
               "  sends every RTCM 3 frame of FILE as one datagram to 127.0.0.1:PORT, in order,\n"
               "  FRAMES_PER_SECOND of them a second (default 1000); SENT_FILE receives the bytes sent\n",
               out);
}

} // namespace

int main(int argc, char** argv)
{
    if (answerHelpOrVersion(argc, argv, "rtcmreplay", usage))
        return 0;
    if (argc < 3)
    {
        usage(stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "rtcmreplay: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string stream{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const double rate = argc > 3 ? std::atof(argv[3]) : 1000.0;

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || rate <= 0)
    {
        std::perror("rtcmreplay");
        return 1;
    }

    std::ofstream sent;
    if (argc > 4)
        sent.open(argv[4], std::ios::binary | std::ios::trunc);
    const auto period = std::chrono::duration<double>(1.0 / rate);
    auto due = std::chrono::steady_clock::now();
    std::size_t frames = 0;
    std::size_t bytes = 0;
    bool failed = false;
    Rtcm3::forEachFrame(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(),
                        [&](std::size_t at, std::size_t size, int)
                        {
                            std::this_thread::sleep_until(due);
                            if (::send(fd, stream.data() + at, size, 0) != static_cast<ssize_t>(size))
                            {
                                std::perror("rtcmreplay: send");
                                failed = true;
                                return false;
                            }
                            if (sent.is_open())
                                sent.write(stream.data() + at, static_cast<std::streamsize>(size));
                            due += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
                            ++frames;
                            bytes += size;
                            return true;
                        });
    if (failed)
        return 1;
    ::close(fd);
    std::printf("%zu frames, %zu bytes sent\n", frames, bytes);
    return 0;
}
