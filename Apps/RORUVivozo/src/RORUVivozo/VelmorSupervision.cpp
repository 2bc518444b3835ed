// Input-rate supervision: the no-data check on WAIT_DATA_TIMEOUT and the rate check through the event
// counter, each reported as a trace line and an operator message.
#include "Platform/DecimalText.h"
#include "RORUVivozo/VelmorControl.h"

#include <chrono>
#include <cstring>
#include <exception>

using namespace ZeltSig;

void CVelmorControl::ConfigureSupervision(bool fresh)
{
    const int32_t length = m_tokens.integer(kTokenFreqInterval);
    const int32_t expected = m_tokens.integer(kTokenFreqExpected);
    if (length <= 0 || expected <= 0)
    {
        RemoveSupervision();
        return;
    }
    if (fresh)
        RemoveSupervision();
    if (!m_eventCounter)
        m_eventCounter =
            std::make_unique<CEventCounter<CVelmorControl>>(this, &CVelmorControl::InputFreqCallback);
    const int32_t limit = m_tokens.integer(kTokenFreqLimit);
    const int32_t pause = m_tokens.integer(kTokenFreqPause);
    constexpr int64_t kMsPerSecond = 1000;
    m_eventCounter->Configure(Platform::heldInt32(length * kMsPerSecond),
                              Platform::heldInt32(int64_t{length} * expected),
                              Platform::heldInt32(pause * kMsPerSecond), limit);
}

void CVelmorControl::RemoveSupervision()
{
    m_eventCounter.reset();
}

void CVelmorControl::CountDatagram()
{
    m_dataSeen = true;
    const FsmClock::duration silence = m_status.datagramArrived(FsmClock::now());
    if (m_dataMissing)
        ReportDataAgain(silence);
    if (m_eventCounter)
        m_eventCounter->CountEvent();
}

void CVelmorControl::InputFreqCallback(double expectedRate, double receivedRate, int limit)
{
    const InputFreqReport report{expectedRate, receivedRate, limit};
    try
    {
        ExternalInput(CZeltSignal::CopyOf(INPUT_FREQ_REPORT, &report, sizeof report, this));
    }
    catch (const std::exception& error)
    {
        // The counter's thread must not end on a report that could not be posted.
        TraceData("\n\tERROR: Rate report not posted: %s", error.what());
    }
}

void CVelmorControl::JobInputFreqReport(SignalPtr& signal)
{
    TraceJob("JobInputFreqReport");
    // Only a signal of exactly a report's size is read as one.
    if (signal->GetData() != nullptr && signal->GetLength() == static_cast<int32_t>(sizeof(InputFreqReport)))
    {
        InputFreqReport report;
        std::memcpy(&report, signal->GetData(), sizeof report);
        TraceData("\n\tWarning: Frequency of received RTCM) datagrams is less than %d%% of "
                  "expected.\nExpected/received (Hz): %.2f/%.2f',122);",
                  report.limit, report.expectedRate, report.receivedRate);
        m_messages.postFormatted(MSG_LOW_RATE, report.limit, report.expectedRate, report.receivedRate);
    }
}

// silence: from the last datagram before the outage (or the start of logging) to this one.
void CVelmorControl::ReportDataAgain(FsmClock::duration silence)
{
    m_dataMissing = false;
    const int seconds = Platform::heldInt32(std::chrono::round<std::chrono::seconds>(silence).count());
    TraceData("\n\tInfo: RTCM data received again after %d s without data.", seconds);
    m_messages.postFormatted(MSG_DATA_AGAIN, seconds);
}

void CVelmorControl::JobCheckInput(SignalPtr&)
{
    TraceJob("JobCheckInput");
    // A data port whose bind failed would otherwise stay deaf until the operator noticed.
    m_receivers->retryDataPortBind();
    ReportKernelDrops();
    ReportQueueDrops();
    if (!m_dataSeen)
    {
        TraceData("\n\tERROR: No RTCM data is received.\n\tTurn RTCM logging off and on.");
        m_messages.postFormatted(MSG_NO_DATA);
        m_dataMissing = true;
    }
    m_dataSeen = false;
    ArmWaitDataTimer();
}
