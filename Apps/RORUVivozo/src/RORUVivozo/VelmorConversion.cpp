// The conversion thread: scans every closed log file and runs "makerinex.bat" for it, one file at a
// time in the order the files were closed, each for its time limit at most.
#include "RORUVivozo/VelmorConversion.h"

#include "FileQuality/QualityFiles.h"
#include "FileQuality/QualityPicture.h"
#include "Rtcm3/MakeRinexLauncher.h"
#include "Rtcm3/MakeRinexReport.h"

#include <algorithm>
#include <cstdio>

namespace
{

using Clock = std::chrono::steady_clock;

// How often a running conversion is looked at; an ended one is reaped at the latest this much later.
constexpr std::chrono::milliseconds kPoll{100};
// How long a killed conversion is given to leave the kernel before the next one starts without it.
constexpr std::chrono::milliseconds kEndWait{2000};

} // namespace

CVelmorConversion::CVelmorConversion(std::chrono::seconds timeLimit, Report report, ContextOf contextOf,
                                     Converter converter, CLoggerStatus* status)
    : m_timeLimit(timeLimit), m_report(std::move(report)), m_contextOf(std::move(contextOf)),
      m_converter(std::move(converter)), m_status(status), m_adopting(Platform::adoptsOrphans())
{
    if (!m_converter)
        m_converter = [](const std::string& logDirectory, const Rtcm3::ConversionSteps& steps,
                         std::string* problem, const Rtcm3::ScanContext& context)
        { return Rtcm3::convertLogFile(logDirectory, steps, problem, context); };
    m_thread = std::thread([this] { run(); });
}

CVelmorConversion::~CVelmorConversion()
{
    finish();
}

void CVelmorConversion::convert(const std::string& path, std::time_t opened, std::shared_future<bool> onDisk)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_finishing)
            return;
        m_waiting.push_back({path, opened, std::move(onDisk)});
        // Counted before the thread can take it, so its end never comes first.
        if (m_status)
            m_status->conversionQueued();
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
        // The script is still to start there; but a scan that has read the file already read what was
        // there before, so what is there now needs a conversion of its own.
        m_current = to;
        followed = followed || !m_currentOpened;
    }
    return followed;
}

void CVelmorConversion::finish()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_finishing)
            m_finishBy = Clock::now() + std::min(m_timeLimit, kFinishLimit);
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
        if (m_finishing && Clock::now() >= m_finishBy)
        {
            const std::deque<Closed> left = std::move(m_waiting);
            m_waiting.clear();
            lock.unlock();
            for (const Closed& closed : left)
            {
                reportNotConverted(closed.path, "the logger ended before its conversion began");
                recordResult(closed.path, ConversionResult::Ended);
            }
            endUnreaped();
            return;
        }
        if (m_waiting.empty())
        {
            lock.unlock();
            endUnreaped();
            return;
        }
        convertNext(lock);
        m_running.clear();
    }
}

std::vector<std::string> CVelmorConversion::pending()
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> paths;
    for (const Closed& closed : m_waiting)
        paths.push_back(closed.path);
    for (const std::string* path : {&m_current, &m_running})
        if (!path->empty())
            paths.push_back(*path);
    return paths;
}

void CVelmorConversion::convertNext(std::unique_lock<std::mutex>& lock)
{
    const Closed closed = m_waiting.front();
    m_waiting.pop_front();
    m_current = closed.path;
    m_currentOpened = false;
    if (!awaitOnDisk(closed.onDisk, lock))
    {
        const std::string path = m_current;
        m_current.clear();
        lock.unlock();
        reportNotConverted(path, "it was still being written to disk when the logger ended");
        recordResult(path, ConversionResult::Ended);
        lock.lock();
        return;
    }
    lock.unlock();
    const Rtcm3::ScanContext context =
        m_contextOf ? m_contextOf(closed.opened) : Rtcm3::ScanContext{0, closed.opened};

    // Both uses of the path run under the lock: a move aside of the file is then either before them
    // (and followed) or after.
    std::string path;      // where the script was started for the file
    std::string rinexName; // what it was asked to write; the scan passed when there is one
    Rtcm3::ScanResult scan{};
    Rtcm3::QualityFigures quality;
    Platform::ProcessGroup converter;
    const Rtcm3::ConversionSteps steps{
        [&](std::string* problem)
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_currentOpened = true;
            return Rtcm3::openForScan(m_current, problem);
        },
        [&](const std::string& name, const std::vector<std::string>& environment)
        {
            std::lock_guard<std::mutex> guard(m_lock);
            // From now on the script holds the path itself.
            path = m_current;
            m_running = path;
            m_current.clear();
            rinexName = name;
            converter = Rtcm3::startMakeRinex(path, rinexName, context.station, environment);
            return converter.running();
        },
        [&](const Rtcm3::ScanResult& result) { scan = result; }, &quality};
    // The RINEX file goes beside its log file, in the directory the tokens expanded to.
    std::string problem;
    m_converter(Rtcm3::logFileDirectory(closed.path), steps, &problem, context);
    if (!rinexName.empty())
        reportTakenWithout(path, scan);

    lock.lock();
    // Where the file is now, should it have been moved aside during the scan.
    if (path.empty())
        path = m_current;
    m_current.clear();
    const bool launched = converter.running();
    if (launched && !await(converter, path, lock))
    {
        lock.unlock();
        recordResult(path, ConversionResult::Ended, writeQuality(path, std::nullopt, quality));
        lock.lock();
        return;
    }
    lock.unlock();
    // The script says in its own log what went wrong; the operator learns here that something did.
    if (problem.empty() && launched && converter.exitCode() != 0)
    {
        const std::string log = Rtcm3::readMakeRinexReport(rinexName).log;
        problem =
            std::string(Rtcm3::kMakeRinexProgram) +
            (converter.exitCode() < 0 ? std::string(" was ended by a signal")
                                      : " ended with exit status " + std::to_string(converter.exitCode())) +
            (log.empty() ? "; its .log beside the file says why" : "; its .log says why: " + log);
    }
    if (!problem.empty())
        reportNotConverted(path, problem, otherStations(scan, context.station));
    else if (launched)
        reportConverted(path, scan, rinexName);
    const std::optional<std::string> rinex =
        problem.empty() ? Rtcm3::writtenRinexFile(path, rinexName) : std::nullopt;
    recordResult(path, problem.empty() ? ConversionResult::Converted : ConversionResult::Failed,
                 writeQuality(path, rinex, quality));
    lock.lock();
}

bool CVelmorConversion::awaitOnDisk(const std::shared_future<bool>& onDisk,
                                    std::unique_lock<std::mutex>& lock)
{
    while (onDisk.valid() && onDisk.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    {
        if (m_finishing && Clock::now() >= m_finishBy)
            return false;
        // finish() wakes this wait, so that the finish limit applies at once.
        m_queued.wait_for(lock, kPoll);
    }
    return true;
}

void CVelmorConversion::reportTakenWithout(const std::string& path, const Rtcm3::ScanResult& scan) const
{
    for (const char* line : Rtcm3::informationTakenWithout(scan.foundBits))
    {
        if (m_report)
            m_report("\n\tInfo: " + path + ": " + line + ".");
    }
}

void CVelmorConversion::reportConverted(const std::string& path, const Rtcm3::ScanResult& scan,
                                        const std::string& rinexName) const
{
    const Rtcm3::MakeRinexReport report = Rtcm3::readMakeRinexReport(rinexName);
    std::string files;
    for (const std::string& written : report.written)
        files += (files.empty() ? "" : ", ") + written;
    if (files.empty())
        files = rinexName + " (as asked: " + Rtcm3::kMakeRinexProgram + " named no file it wrote)";
    if (m_report)
        m_report("\n\tInfo: Converted " + path + " to RINEX: " + std::to_string(scan.epochs) +
                 (scan.epochs == 1 ? " epoch of " : " epochs of ") + Rtcm3::systemNames(scan.systems) +
                 " in " + files + ".");
}

std::string CVelmorConversion::otherStations(const Rtcm3::ScanResult& scan, unsigned int station)
{
    if ((scan.foundBits & Rtcm3::kFoundObservations) || scan.observingStations.empty())
        return {};
    const bool one = scan.observingStations.size() == 1;
    return std::string("It holds observations of station") + (one ? " " : "s ") +
           Rtcm3::stationList(scan.observingStations) + ", none of reference station " +
           std::to_string(station) + ": set the token " + kTokenStationId + " to " +
           (one ? std::to_string(scan.observingStations.front()) : std::string("one of them"));
}

ConversionFiles CVelmorConversion::writeQuality(const std::string& path,
                                                const std::optional<std::string>& rinex,
                                                Rtcm3::QualityFigures& figures)
{
    if (!figures.scanned)
        return {rinex, std::nullopt, std::nullopt};
    std::chrono::milliseconds limit = FileQuality::kPictureTimeLimit;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_finishing)
            limit = std::min(
                limit, std::chrono::duration_cast<std::chrono::milliseconds>(m_finishBy - Clock::now()));
    }
    const FileQuality::QualityWritten written =
        FileQuality::writeQualityFiles(path, rinex, std::move(figures), limit);
    if (written.problem && m_report)
        m_report("\n\tWARNING: Quality report of " + path + ": " + *written.problem + ".");
    return {rinex, written.report, written.summary};
}

void CVelmorConversion::recordResult(const std::string& path, ConversionResult result,
                                     const ConversionFiles& files) const
{
    if (m_status)
        m_status->conversionEnded(path, result, files);
}

bool CVelmorConversion::await(Platform::ProcessGroup& converter, const std::string& path,
                              std::unique_lock<std::mutex>& lock)
{
    const Clock::time_point limit = Clock::now() + m_timeLimit;
    bool pastLimit = false;
    for (;;)
    {
        std::erase_if(m_unreaped, [](Platform::ProcessGroup& group) { return group.ended(); });
        if (converter.ended())
        {
            lock.unlock();
            endLeftovers("the conversion of " + path, {}, false);
            lock.lock();
            return true;
        }
        const Clock::time_point until = m_finishing ? std::min(limit, m_finishBy) : limit;
        const Clock::time_point now = Clock::now();
        if (now >= until)
        {
            pastLimit = now >= limit;
            break;
        }
        // finish() wakes this wait, so that the finish limit applies at once.
        m_queued.wait_for(lock, std::min<Clock::duration>(kPoll, until - now));
    }
    lock.unlock();
    // Named before the group is killed; what left the group is found among the orphans.
    std::vector<Platform::Program> members = Platform::groupMembers(converter.leader());
    const pid_t leader = converter.leader();
    const bool reaped = converter.end(kEndWait);
    if (!reaped)
    {
        std::erase_if(members, [&](const Platform::Program& member) { return member.pid == leader; });
        m_unreaped.push_back(std::move(converter));
    }
    const bool everything = endLeftovers("the conversion of " + path, std::move(members), true) && reaped;
    const std::string ended = everything ? " and was ended with every program it started"
                                         : (m_adopting ? " and was ended, but not every program it started"
                                                       : " and was ended with its process group");
    reportNotConverted(
        path,
        std::string(Rtcm3::kMakeRinexProgram) +
            (pastLimit ? " ran past its time limit of " + std::to_string(m_timeLimit.count()) + " s" + ended
                       : std::string(" was still running when the logger ended, and was ended")));
    lock.lock();
    return false;
}

bool CVelmorConversion::endLeftovers(const std::string& whose, std::vector<Platform::Program> killed,
                                     bool expected)
{
    std::vector<pid_t> kept;
    for (const Platform::ProcessGroup& group : m_unreaped)
        kept.push_back(group.leader());
    // Without adopting, only the group can be ended, and what left it is out of reach.
    Platform::EndedChildren children;
    if (m_adopting)
        children = Platform::endChildren(kept, kEndWait);
    for (Platform::Program& program : children.ended)
        if (std::ranges::none_of(killed, [&](const Platform::Program& k) { return k.pid == program.pid; }))
            killed.push_back(std::move(program));
    if (m_report && !killed.empty())
        m_report((expected ? "\n\tInfo: Ended with " : "\n\tWARNING: Ended what ") + whose +
                 (expected ? ": " : " left running: ") + Platform::describePrograms(killed) + ".");
    if (m_report && !children.left.empty())
        m_report("\n\tERROR: Not able to end what " + whose +
                 " left running: " + Platform::describePrograms(children.left) + ".");
    return m_adopting && children.left.empty();
}

void CVelmorConversion::endUnreaped()
{
    // A leader stuck in the kernel past its kill gets its last chance here; what it started then
    // comes to this process.
    m_unreaped.clear();
    endLeftovers("earlier conversions", {}, false);
}

void CVelmorConversion::reportNotConverted(const std::string& path, const std::string& problem,
                                           const std::string& advice) const
{
    if (m_report)
        m_report("\n\tWARNING: Datagram log file not converted to RINEX:\n\t         " + path +
                 ":\n\t         " + problem + "." + (advice.empty() ? "" : "\n\t         " + advice + "."));
}
