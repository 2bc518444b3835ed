// Retention: once at start (as soon as the log folder and file patterns are known) and then once a day,
// a thread of its own deletes the logger's own converted files older than the days kept, so that the
// folders keep to a size without anyone's script.
#pragma once

#include "RORUVivozo/VelmorStatus.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class CRetention
{
public:
    // One finished trace line (begins with "\n\t").
    using Report = std::function<void(const std::string& line)>;
    // The files that must stay whatever their age: open, waiting for or in conversion (written paths).
    using InUse = std::function<std::vector<std::string>()>;

    static constexpr std::chrono::hours kEvery{24};

    // Each pass's summary goes to status; status and whatever inUse reaches must outlive the object.
    CRetention(int days, InUse inUse, Report report, CLoggerStatus& status);
    // Ends a pass under way between two log files, then the thread.
    ~CRetention();
    CRetention(const CRetention&) = delete;
    CRetention& operator=(const CRetention&) = delete;

    // The current log folder and file name, with their date tokens; the first ones start the first pass.
    void patterns(const std::string& directory, const std::string& name);

private:
    void run();
    void pass(const std::string& directory, const std::string& name);

    const int m_days;
    InUse m_inUse;
    Report m_report;
    CLoggerStatus& m_status;
    std::mutex m_lock; // the patterns and when the next pass is due
    std::condition_variable m_wake;
    std::optional<std::pair<std::string, std::string>> m_patterns;
    std::optional<std::chrono::steady_clock::time_point> m_due; // none before the first patterns
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
