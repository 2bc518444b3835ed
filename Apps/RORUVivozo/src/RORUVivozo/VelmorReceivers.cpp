// The logger's receivers: binding both ports at start, the IO thread, and the end.
#include "RORUVivozo/VelmorReceivers.h"

#include "RORUVivozo/VelmorGlobals.h"
#include "SuiteProtocol/DataPort.h"
#include "Udp/UdpReceiver.h"

#include <boost/system/system_error.hpp>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <exception>

CVelmorReceivers::CVelmorReceivers(Callbacks callbacks) : m_callbacks(std::move(callbacks)) {}

CVelmorReceivers::~CVelmorReceivers()
{
    finish(std::chrono::milliseconds(0));
}

void CVelmorReceivers::start(std::int32_t dataPort, std::uint16_t commandPort, bool commandsFromAllInterfaces)
{
    m_io = std::make_shared<boost::asio::io_context>();

    m_dataPort = dataPort;
    if (const char* refusal = SuiteProtocol::dataPortRefusal(m_dataPort, commandPort))
        throw CVelmorStartError("data port " + std::to_string(m_dataPort) + " of " +
                                SuiteProtocol::kDataPortToken + ": " + refusal);
    m_dataReceiver = std::make_unique<Udp::UdpReceiver>(*m_io);
    m_dataReceiver->SetLogCallback([this](std::string text) { m_callbacks.receiverText(text); });
    startReceiver(*m_dataReceiver, static_cast<std::uint16_t>(m_dataPort), Udp::Interfaces::All, "data");
    m_dataReceiver->SetDataCallback(
        [this](const char* data, std::uint64_t count)
        {
            ++m_datagramsReceived;
            m_callbacks.datagram(data, count);
        });

    // The operator process runs on this host: from elsewhere a sentence could steer the files.
    m_commandReceiver = std::make_unique<Udp::UdpReceiver>(*m_io);
    m_commandReceiver->SetLogCallback([this](std::string text) { m_callbacks.receiverText(text); });
    startReceiver(*m_commandReceiver, commandPort,
                  commandsFromAllInterfaces ? Udp::Interfaces::All : Udp::Interfaces::LoopbackOnly,
                  "command");
    m_commandReceiver->SetDataCallback([this](const char* data, std::uint64_t count)
                                       { m_callbacks.command(data, count); });

    // Sends complete on the IO thread too, so it must not run dry while a receiver is being rebound.
    m_ioWork.emplace(m_io->get_executor());
    m_ioThread = std::thread([this] { runIoThread(); });
}

void CVelmorReceivers::startReceiver(Udp::UdpReceiver& receiver, std::uint16_t port,
                                     Udp::Interfaces interfaces, const char* role)
{
    try
    {
        receiver.Start(port, interfaces);
    }
    catch (const boost::system::system_error& error)
    {
        throw CVelmorStartError(std::string(role) + " port " + std::to_string(port) + ": " + error.what());
    }
}

void CVelmorReceivers::runIoThread()
{
    for (;;)
    {
        try
        {
            m_io->run();
            break;
        }
        catch (const std::exception& error)
        {
            // A failing handler must not take the process down; the loop goes on with the next one.
            m_callbacks.trace(std::string("\n\tERROR: IO context: ") + error.what());
        }
    }
    m_callbacks.trace("\n\tWarn: Thread for IO context for server connections terminated");
    log4cplus::Logger log = log4cplus::Logger::getInstance(kProcessLogger);
    if (log.isEnabledFor(log4cplus::DEBUG_LOG_LEVEL))
        LOG4CPLUS_DEBUG(log, "IO Context terminated");
}

std::uint64_t CVelmorReceivers::kernelDrops() const
{
    return m_dataReceiver->KernelDrops();
}

std::uint64_t CVelmorReceivers::stopReceiving()
{
    if (m_commandReceiver)
        m_commandReceiver->Stop();
    // What the socket already holds was sent before the end: it is delivered too.
    if (m_dataReceiver)
        m_dataReceiver->Finish();
    return m_datagramsReceived.load();
}

void CVelmorReceivers::finish(std::chrono::milliseconds lastSendsLimit)
{
    m_ioWork.reset();
    if (m_io)
    {
        const auto limit = std::chrono::steady_clock::now() + lastSendsLimit;
        while (!m_io->stopped() && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_io->stop();
    }
    if (m_ioThread.joinable())
        m_ioThread.join();
}
