// Kernel drops on the data port, reported off the datagram path: a data line at each check that finds
// new ones, operator message 1428 at most once a minute. The logger's own drops at its full queue go
// the same way, with message 1429: the operator looks at the disk then, not at the receive buffer.
#include "RORUVivozo/VelmorControl.h"

void CVelmorControl::ReportKernelDrops()
{
    if (!m_receivers->started())
        return;
    const CKernelDrops::Due due = m_kernelDrops.check(m_receivers->kernelDrops());
    m_status.kernelDrops(due.total);
    if (due.sinceLastCheck != 0)
        TraceData(
            "\n\tWARNING: The kernel dropped %llu datagrams on the data port since the last check (%llu "
            "in all):\n\t         its receive buffer was full.",
            static_cast<unsigned long long>(due.sinceLastCheck), static_cast<unsigned long long>(due.total));
    if (due.forTheOperator != 0)
        m_messages.postFormatted(MSG_KERNEL_DROPS, due.forTheOperator);
}

void CVelmorControl::ReportQueueDrops()
{
    const CKernelDrops::Due due = m_queueDrops.check(m_status.queueDrops());
    if (due.sinceLastCheck != 0)
        TraceData(
            "\n\tWARNING: The logger dropped %llu datagrams on the data port since the last check (%llu "
            "in all):\n\t         %zu MB of datagrams were waiting for the disk already.",
            static_cast<unsigned long long>(due.sinceLastCheck), static_cast<unsigned long long>(due.total),
            m_waitingData.Limit() >> 20);
    if (due.forTheOperator != 0)
        m_messages.postFormatted(MSG_QUEUE_DROPS, due.forTheOperator);
}
