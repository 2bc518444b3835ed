// Signals of the state-machine framework: the base CFsmSignal, the suite's signal class
// CZeltSignal that travels through the queues, and the timer record CFsmTimeSignal.
#pragma once

#include <cstdint>
#include <memory>

// Numbers that the framework itself gives meaning to.
enum : int32_t
{
    FSM_SIG_WAKEUP = -1, // "_TIMEHANDL": wakes the engine thread; never dispatched from the external queue
    FSM_SIG_TIMER = -2,  // "_TIMEOUT": the number of every CFsmTimeSignal
    FSM_SIG_DRAINED =
        -3, // "_DRAINED": marks the end of what was queued before a draining stop; never dispatched
    FSM_SIG_UNKNOWN = -99, // "_UNKNOWN": reserved, never made by the logger
    FSM_SIG_END = 0,       // ends the signal-name table; never a valid signal number
};

class CFsmSignal
{
public:
    // Number only: no sender, not timed.
    explicit CFsmSignal(int32_t number, void* sender = nullptr, bool timed = false);
    virtual ~CFsmSignal();

    CFsmSignal(const CFsmSignal&) = delete;
    CFsmSignal& operator=(const CFsmSignal&) = delete;

    int32_t GetNumber() const { return m_number; }
    void* GetSender() const { return m_sender; }
    bool IsTimed() const { return m_timed; }

private:
    int32_t m_number;
    void* m_sender;
    bool m_timed;
};

// The timer record: a signal only to share the base. It owns the data it is to deliver until the timer
// expires or is stopped.
class CFsmTimeSignal : public CFsmSignal
{
public:
    // Every caller passes FSM_SIG_TIMER (-2) as number. remaining := delay, period := 0.
    CFsmTimeSignal(int32_t number, int32_t target, int32_t delayMs, std::unique_ptr<char[]> data = nullptr,
                   int32_t length = 0);
    ~CFsmTimeSignal() override;

    int32_t GetTarget() const { return m_target; }
    int32_t GetRemaining() const { return m_remaining; }
    int32_t GetPeriod() const { return m_period; }
    int32_t GetDataLength() const { return m_dataLength; }
    const char* GetData() const { return m_data.get(); }

    void SetRemaining(int32_t ms) { m_remaining = ms; }
    void SetPeriod(int32_t ms) { m_period = ms; }

private:
    int32_t m_target;
    int32_t m_remaining;
    int32_t m_period;
    int32_t m_dataLength;
    std::unique_ptr<char[]> m_data;
};

// The signal class of every machine of the suite: a number, an optional sender and an optional byte
// buffer. The signal owns its buffer and frees it when it is destroyed.
class CZeltSignal : public CFsmSignal
{
public:
    explicit CZeltSignal(int32_t number);
    CZeltSignal(int32_t number, void* sender, std::unique_ptr<char[]> data, int32_t length);
    CZeltSignal(int32_t number, std::unique_ptr<char[]> data, int32_t length);
    // Made when a timer expires: the timer's target number and sender, a copy of its data when it has
    // at least one byte (else no buffer), timed := true.
    explicit CZeltSignal(const CFsmTimeSignal& timer);
    ~CZeltSignal() override;

    // A signal carrying its own copy of length bytes (no buffer when length < 1 or bytes is absent).
    static std::unique_ptr<CZeltSignal> CopyOf(int32_t number, const void* bytes, int32_t length,
                                               void* sender = nullptr);

    int32_t GetLength() const { return m_length; }
    char* GetData() const { return m_data.get(); }

private:
    int32_t m_length;
    std::unique_ptr<char[]> m_data;
};

// A newly allocated copy of length bytes, or no buffer when length < 1 or bytes is absent.
std::unique_ptr<char[]> FsmCopyBytes(const void* bytes, int32_t length);
