// The conversion thread: scans every closed log file and starts "makerinex.bat" for it, one file at a
// time in the order the files were closed.
#include "RORUVivozo/VelmorConversion.h"

#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/MakeRinexLauncher.h"

#include <cstdio>

CVelmorConversion::CVelmorConversion(Report report) : m_report(std::move(report))
{
    m_thread = std::thread([this] { run(); });
}

CVelmorConversion::~CVelmorConversion()
{
    finish();
}

void CVelmorConversion::convert(const std::string& path, const Rtcm3::ScanContext& context)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_finishing)
            return;
        m_waiting.push_back({path, context});
    }
    m_queued.notify_one();
}

bool CVelmorConversion::follow(const std::string& from, const std::string& to,
                               const std::function<bool()>& move)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!move())
        return false;
    bool followed = false;
    for (Closed& closed : m_waiting)
    {
        if (closed.path == from)
        {
            closed.path = to;
            followed = true;
        }
    }
    if (m_current == from)
    {
        m_current = to;
        followed = true;
    }
    return followed;
}

void CVelmorConversion::finish()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_finishing = true;
    }
    m_queued.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void CVelmorConversion::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;)
    {
        m_queued.wait(lock, [this] { return m_finishing || !m_waiting.empty(); });
        if (m_waiting.empty())
            return;
        convertNext(lock);
    }
}

void CVelmorConversion::convertNext(std::unique_lock<std::mutex>& lock)
{
    const Closed closed = m_waiting.front();
    m_waiting.pop_front();
    m_current = closed.path;
    // Opened under the lock: a move aside of this path is then either before (and followed) or after.
    std::string problem;
    Rtcm3::ScanFile file = Rtcm3::openForScan(m_current, &problem);
    lock.unlock();

    // The RINEX file goes beside its log file, in the directory the tokens expanded to.
    std::string rinexName;
    Rtcm3::ScanResult scan{};
    const bool passed = file && Rtcm3::nameRinexFile(file.get(), Rtcm3::logFileDirectory(closed.path),
                                                     rinexName, &problem, closed.context, &scan);
    file.reset();

    lock.lock();
    // Where the file is now, should it have been moved aside during the scan.
    const std::string path = m_current;
    lock.unlock();
    if (passed && !Rtcm3::launchMakeRinex(path, rinexName, closed.context.station,
                                          Rtcm3::makeRinexEnvironment(scan, closed.context)))
        problem = std::string("Can not start ") + Rtcm3::kMakeRinexProgram;
    if (!problem.empty() && m_report)
        m_report("\n\tWARNING: Datagram log file not converted to RINEX:\n\t         " + path +
                 ":\n\t         " + problem + ".");
    lock.lock();
    m_current.clear();
}
