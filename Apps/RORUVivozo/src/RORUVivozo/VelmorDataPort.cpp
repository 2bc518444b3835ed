// The data port: which port a start may give the data receiver, and rebinding it so that the data port
// changes only once the receiver is bound there; a failed bind is tried again by the no-data check.
#include "RORUVivozo/VelmorReceivers.h"

#include "SuiteProtocol/DataPort.h"
#include "Udp/UdpReceiver.h"

namespace
{

// What the trace says once the data receiver listens on a port that a start gave it.
constexpr char kDataPortRebound[] = "Logging starting";

} // namespace

bool CVelmorReceivers::dataPortBound() const
{
    return m_dataReceiver->LocalPort() != 0;
}

void CVelmorReceivers::takeDataPort(std::int32_t port)
{
    // 0 is also what a field that is not a number reads as: keep the port.
    if (port == 0)
        return;
    if (const char* refusal = SuiteProtocol::dataPortRefusal(port, m_commandReceiver->LocalPort()))
    {
        m_callbacks.trace("\n\tERROR: Data port " + std::to_string(port) + " refused: " + refusal +
                          ". The data port stays " + std::to_string(m_dataPort) + ".");
        return;
    }
    if (port == m_dataPort && dataPortBound())
        return;
    bindDataPort(port);
}

void CVelmorReceivers::bindDataPort(std::int32_t port)
{
    m_dataReceiver->Stop();
    m_dataReceiver->Restart(port, kDataPortRebound);
    if (dataPortBound())
    {
        m_dataPort = port;
        m_unboundDataPort = 0;
        return;
    }
    m_unboundDataPort = port;
    m_callbacks.trace("\n\tERROR: Not able to bind data port " + std::to_string(port) +
                      ". The next no-data check tries again.");
}

void CVelmorReceivers::retryDataPortBind()
{
    if (dataPortBound())
        return;
    bindDataPort(m_unboundDataPort != 0 ? m_unboundDataPort : m_dataPort);
}
