// rtcmbridge: reads RTCM 3 corrections where a base really delivers them (an NTRIP caster, a TCP port,
// a serial port, standard input) and sends every whole, CRC-checked frame as one datagram to the
// logger's data port, reconnecting for as long as it runs.
#include "Bridge.h"
#include "BridgeOptions.h"
#include "BridgePublisher.h"

#include "Platform/NativePath.h"
#include "ServiceNotifier/ServiceNotifier.h"
#include "VivozoVersion.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include <csignal>
#include <cstdlib>
#include <iostream>

namespace asio = boost::asio;

namespace
{

enum ExitStatus
{
    kEnded = 0,
    kNotStarted = 1,
    kBadUsage = 2,
};

// The loop's heartbeat: the service manager restarts a bridge whose loop stops turning.
void beat(asio::steady_timer& timer, CServiceNotifier& notifier, std::chrono::milliseconds every)
{
    notifier.alive();
    timer.expires_after(every);
    timer.async_wait(
        [&timer, &notifier, every](const boost::system::error_code& error)
        {
            if (!error)
                beat(timer, notifier, every);
        });
}

int bridge(const BridgeOptions& options)
{
    asio::io_context io;
    std::unique_ptr<DatagramSender> sender;
    try
    {
        sender = std::make_unique<DatagramSender>(io, options.toHost, options.toPort);
    }
    catch (const boost::system::system_error& error)
    {
        std::cerr << "rtcmbridge: not able to start: " << options.destination() << ": "
                  << reasonText(error.code()) << std::endl;
        return kNotStarted;
    }
    const std::unique_ptr<ByteSource> source = makeSource(io, options);
    BridgeStatus status(options.source.shown, options.destination());
    Bridge bridge(io, *source, *sender, status, options.silenceLimit);
    CServiceNotifier notifier;
    BridgePublisher publisher(status, notifier,
                              options.statusPath.empty() ? "" : Platform::nativePath(options.statusPath));

    asio::signal_set ending(io, SIGINT, SIGTERM);
    ending.async_wait(
        [&](const boost::system::error_code& error, int)
        {
            if (!error)
                bridge.stop();
        });
    asio::steady_timer beats(io);
    if (const auto every = CServiceNotifier::watchdogBeat())
        beat(beats, notifier, *every);
    int exitStatus = kEnded;
    asio::co_spawn(io, bridge.run(),
                   [&](std::exception_ptr failure)
                   {
                       ending.cancel();
                       beats.cancel();
                       try
                       {
                           if (failure)
                               std::rethrow_exception(failure);
                       }
                       catch (const std::exception& e)
                       {
                           std::cerr << "rtcmbridge: ended by an unexpected error: " << e.what() << std::endl;
                           exitStatus = kNotStarted;
                       }
                   });
    notifier.ready(publisher.line());
    io.run();
    notifier.stopping(publisher.line());
    return exitStatus;
}

} // namespace

int main(int argc, char** argv)
{
    BridgeOptions options;
    std::string error;
    if (!parseBridgeOptions(std::vector<std::string>(argv + 1, argv + argc), std::getenv(kSourceVariable),
                            options, error))
    {
        std::cerr << "rtcmbridge: " << error << "\n(rtcmbridge --help explains the sources and options)"
                  << std::endl;
        return kBadUsage;
    }
    if (options.help)
    {
        std::cout << bridgeUsage();
        return kEnded;
    }
    if (options.version)
    {
        std::cout << "rtcmbridge " << VIVOZO_VERSION << std::endl;
        return kEnded;
    }
    // A peer that closes while a frame goes out must end only that connection.
    std::signal(SIGPIPE, SIG_IGN);
    return bridge(options);
}
