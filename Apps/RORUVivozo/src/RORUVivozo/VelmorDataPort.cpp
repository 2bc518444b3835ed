// The data port: which port a start may give the data receiver, and rebinding it so that the data port
// changes only once the receiver is bound there; a failed bind is tried again by the no-data check.
#include "RORUVivozo/VelmorControl.h"

#include "SuiteProtocol/DataPort.h"
#include "Udp/UdpReceiver.h"

namespace
{

// What the trace says once the data receiver listens on a port that a start gave it.
constexpr char kDataPortRebound[] = "Logging starting";

} // namespace

void CVelmorControl::StartDataReceiver(std::uint16_t commandPort)
{
    m_start.port = SuiteProtocol::dataPortFromToken(m_tokens.integer(SuiteProtocol::kDataPortToken));
    if (const char* refusal = SuiteProtocol::dataPortRefusal(m_start.port, commandPort))
        throw CVelmorStartError("data port " + std::to_string(m_start.port) + " of " +
                                SuiteProtocol::kDataPortToken + ": " + refusal);
    m_dataReceiver = std::make_unique<Udp::UdpReceiver>(*m_io);
    m_dataReceiver->SetLogCallback([this](std::string text) { OnReceiverText(text); });
    StartReceiver(*m_dataReceiver, static_cast<std::uint16_t>(m_start.port), Udp::Interfaces::All, "data");
    m_dataReceiver->SetDataCallback([this](const char* data, std::uint64_t count)
                                    { OnDatagram(data, count); });
}

void CVelmorControl::TakeDataPort(int32_t port)
{
    // 0 is also what a field that is not a number reads as: keep the port.
    if (port == 0)
        return;
    if (const char* refusal = SuiteProtocol::dataPortRefusal(port, m_commandReceiver->LocalPort()))
    {
        TraceData("\n\tERROR: Data port %d refused: %s. The data port stays %d.", port, refusal,
                  m_start.port);
        return;
    }
    if (port == m_start.port && m_dataReceiver->LocalPort() != 0)
        return;
    BindDataPort(port);
}

void CVelmorControl::BindDataPort(int32_t port)
{
    m_dataReceiver->Stop();
    m_dataReceiver->Restart(port, kDataPortRebound);
    if (m_dataReceiver->LocalPort() != 0)
    {
        m_start.port = port;
        m_unboundDataPort = 0;
        return;
    }
    m_unboundDataPort = port;
    TraceData("\n\tERROR: Not able to bind data port %d. The next no-data check tries again.", port);
}

void CVelmorControl::RetryDataPortBind()
{
    if (m_dataReceiver->LocalPort() != 0)
        return;
    BindDataPort(m_unboundDataPort != 0 ? m_unboundDataPort : m_start.port);
}
