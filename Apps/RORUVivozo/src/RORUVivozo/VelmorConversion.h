// The conversion thread: scans every closed log file and starts "makerinex.bat" for it, one file at a
// time in the order the files were closed, so that no scan ever holds up the datagram path.
#pragma once

#include "Rtcm3/ScanContext.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CVelmorConversion
{
public:
    // One finished trace line (a data line of the control; begins with "\n\t").
    using Report = std::function<void(const std::string& line)>;

    explicit CVelmorConversion(Report report);
    // Converts what is still waiting, then ends the thread.
    ~CVelmorConversion();
    CVelmorConversion(const CVelmorConversion&) = delete;
    CVelmorConversion& operator=(const CVelmorConversion&) = delete;

    // Queues a closed file with what its scan needs; returns at once.
    void convert(const std::string& path, const Rtcm3::ScanContext& context);
    // Runs move (a rename of the file at from to to) while no conversion opens a file, and when it
    // succeeded lets a conversion that still has to open or launch from take to instead. True when
    // one did.
    bool follow(const std::string& from, const std::string& to, const std::function<bool()>& move);
    // Waits until every queued file is converted and ends the thread; nothing is queued afterwards.
    void finish();

private:
    void run();
    void convertNext(std::unique_lock<std::mutex>& lock);

    Report m_report;
    std::mutex m_lock; // the queue and the path of the file being converted
    std::condition_variable m_queued;
    struct Closed
    {
        std::string path;
        Rtcm3::ScanContext context;
    };
    std::deque<Closed> m_waiting;
    std::string m_current; // path of the file being converted; empty when none is
    bool m_finishing = false;
    std::thread m_thread;
};
