// Input-rate supervision: the no-data check on WAIT_DATA_TIMEOUT and the rate check through the event
// counter, each reported as a trace line and an operator message.
#include "Database/GetToken.h"
#include "Database/Messages.h"
#include "RORUVivozo/VelmorControl.h"
#include "RORUVivozo/VelmorGlobals.h"

#include <climits>
#include <cstring>
#include <exception>

using namespace ZeltSig;

namespace
{

// Seconds to milliseconds, held within 32 bits.
int32_t secondsToMs(int64_t seconds)
{
    const int64_t ms = seconds * 1000;
    return ms > INT32_MAX ? INT32_MAX : static_cast<int32_t>(ms);
}

int32_t clamp32(int64_t value)
{
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

} // namespace

void CVelmorControl::ConfigureSupervision(bool fresh)
{
    const int32_t length = tokenStore().getTokValueInt(kTokenFreqInterval);
    const int32_t expected = tokenStore().getTokValueInt(kTokenFreqExpected);
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
    const int32_t limit = tokenStore().getTokValueInt(kTokenFreqLimit);
    const int32_t pause = tokenStore().getTokValueInt(kTokenFreqPause);
    m_eventCounter->Configure(secondsToMs(length), clamp32(static_cast<int64_t>(length) * expected),
                              secondsToMs(pause), limit);
}

void CVelmorControl::RemoveSupervision()
{
    m_eventCounter.reset();
}

void CVelmorControl::CountDatagram()
{
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

void CVelmorControl::JobInputFreqReport(CZeltSignal*& signal)
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
        velmorMessages.postFormattedMessage(MSG_LOW_RATE, report.limit, report.expectedRate,
                                            report.receivedRate);
    }
    ReleaseData(signal);
}

void CVelmorControl::JobCheckInput(CZeltSignal*& signal)
{
    TraceJob("JobCheckInput");
    ReleaseData(signal);
    // A data port whose bind failed would otherwise stay deaf until the operator noticed.
    RetryDataPortBind();
    ReportKernelDrops();
    if (!m_dataSeen)
    {
        TraceData("\n\tERROR: No RTCM data is received.\n\tTurn RTCM logging off and on.");
        velmorMessages.postFormattedMessage(MSG_NO_DATA);
    }
    m_dataSeen = false;
    ArmWaitDataTimer();
}
