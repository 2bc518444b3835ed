// Signals of the state-machine framework: plain, suite and timed signals.
#include "Fsm/FsmSignal.h"

#include <cstring>

CFsmSignal::CFsmSignal(int32_t number, void* sender, bool timed)
    : m_number(number), m_sender(sender), m_timed(timed)
{
}

CFsmSignal::~CFsmSignal() = default;

std::unique_ptr<char[]> FsmCopyBytes(const void* bytes, int32_t length)
{
    if (bytes == nullptr || length < 1)
    {
        return nullptr;
    }
    auto copy = std::make_unique<char[]>(static_cast<std::size_t>(length));
    std::memcpy(copy.get(), bytes, static_cast<std::size_t>(length));
    return copy;
}

CFsmTimeSignal::CFsmTimeSignal(int32_t number, int32_t target, int32_t delayMs, std::unique_ptr<char[]> data,
                               int32_t length)
    : CFsmSignal(number, nullptr, true), m_target(target), m_remaining(delayMs), m_period(0),
      m_dataLength(data ? length : 0), m_data(std::move(data))
{
}

CFsmTimeSignal::~CFsmTimeSignal() = default;

CZeltSignal::CZeltSignal(int32_t number) : CFsmSignal(number), m_length(0) {}

CZeltSignal::CZeltSignal(int32_t number, void* sender, std::unique_ptr<char[]> data, int32_t length)
    : CFsmSignal(number, sender), m_length(data ? length : 0), m_data(std::move(data))
{
}

CZeltSignal::CZeltSignal(int32_t number, std::unique_ptr<char[]> data, int32_t length)
    : CZeltSignal(number, nullptr, std::move(data), length)
{
}

CZeltSignal::CZeltSignal(const CFsmTimeSignal& timer)
    : CFsmSignal(timer.GetTarget(), timer.GetSender(), true), m_length(0),
      m_data(FsmCopyBytes(timer.GetData(), timer.GetDataLength()))
{
    m_length = m_data ? timer.GetDataLength() : 0;
}

CZeltSignal::~CZeltSignal() = default;

std::unique_ptr<CZeltSignal> CZeltSignal::CopyOf(int32_t number, const void* bytes, int32_t length,
                                                 void* sender)
{
    auto data = FsmCopyBytes(bytes, length);
    int32_t kept = data ? length : 0;
    return std::make_unique<CZeltSignal>(number, sender, std::move(data), kept);
}
