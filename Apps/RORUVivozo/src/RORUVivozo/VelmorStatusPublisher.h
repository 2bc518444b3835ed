// Publishes the status once a second from a thread of its own: the service manager's status line, and
// the JSON snapshot and the Prometheus metrics, each replaced whole (written beside, then renamed) so
// that a reader never sees half a file. Nothing here runs on the datagram path.
#pragma once

#include "RORUVivozo/VelmorStatus.h"
#include "ServiceNotifier/ServiceNotifier.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CStatusPublisher
{
public:
    // Paths in their written form ("C:\temp\x.json" or a native one); an empty one is not written.
    struct Paths
    {
        std::string snapshot;
        std::string metrics;
    };
    // One finished trace line (begins with "\n\t").
    using Report = std::function<void(const std::string& line)>;
    // Adds to each snapshot, on the publisher's thread, what only a slow call finds (the free space).
    using Amend = std::function<void(LoggerSnapshot& snapshot)>;

    static constexpr std::chrono::seconds kEvery{1};
    // Rates are the counts' growth over this span.
    static constexpr std::chrono::seconds kRateSpan{10};
    // The rate history a page draws at once, however recently it was opened.
    static constexpr std::chrono::minutes kRateHistorySpan{10};

    // The status and the notifier must outlive the publisher.
    CStatusPublisher(const CLoggerStatus& status, CServiceNotifier& notifier, Paths paths, Report report,
                     Amend amend = {});
    // Publishes the last state once more, then ends the thread.
    ~CStatusPublisher();
    CStatusPublisher(const CStatusPublisher&) = delete;
    CStatusPublisher& operator=(const CStatusPublisher&) = delete;

    // The state changed: the service manager hears it now, not at the next tick.
    void changed();

private:
    struct Output
    {
        std::string path; // written form
        bool failing = false;
    };

    void run();
    LoggerSnapshot withRates(LoggerSnapshot snapshot);
    void publish(bool files);
    void replace(Output& output, const std::string& text);

    const CLoggerStatus& m_status;
    CServiceNotifier& m_notifier;
    Report m_report;
    Amend m_amend;
    Output m_snapshot;
    Output m_metrics;
    const std::string m_bootId;
    struct Reading
    {
        std::chrono::steady_clock::time_point at;
        std::uint64_t datagrams;
        std::uint64_t bytes;
    };
    std::deque<Reading> m_readings;                      // within the rate span, oldest first
    std::deque<LoggerSnapshot::RatePoint> m_rateHistory; // one a rate span, oldest first
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_changed = false;
    bool m_stopping = false;
    std::thread m_thread;
};
