// The conversion thread: scans every closed log file and runs "makerinex.bat" for it, one file at a
// time in the order the files were closed, each for its time limit at most.
#include "RORUVivozo/VelmorConversion.h"

#include "FileQuality/QualityFiles.h"
#include "FileQuality/QualityPicture.h"
#include "RORUVivozo/VelmorArchiveCopy.h"
#include "RORUVivozo/VelmorHandOff.h"
#include "Rtcm3/MakeRinexLauncher.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

using Clock = std::chrono::steady_clock;

// How often a running conversion is looked at; an ended one is reaped at the latest this much later.
constexpr std::chrono::milliseconds kPoll{100};
// How long a killed conversion is given to leave the kernel before the next one starts without it.
constexpr std::chrono::milliseconds kEndWait{2000};

} // namespace

CVelmorConversion::CVelmorConversion(std::chrono::seconds timeLimit, Report report, ContextOf contextOf,
                                     Converter converter, CLoggerStatus* status, ArchiveFailed archiveFailed)
    : m_timeLimit(timeLimit), m_report(std::move(report)), m_contextOf(std::move(contextOf)),
      m_converter(std::move(converter)), m_status(status), m_archiveFailed(std::move(archiveFailed)),
      m_adopting(Platform::adoptsOrphans())
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
    std::string path;                       // where the script was started for the file
    std::string rinexName;                  // what it was asked to write; the scan passed when there is one
    std::string archiveFile;                // the archive copy it was asked to write; empty: none
    std::vector<std::string> adjustedNames; // its name's fields that the tokens gave outside the convention
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
        [&](const std::string& name, std::vector<std::string> environment)
        {
            // The scan has passed: its findings and figures are in.
            const ArchiveCopy archive = archiveCopy(context, scan, quality);
            environment.insert(environment.end(), archive.environment.begin(), archive.environment.end());
            archiveFile = archive.observation;
            std::lock_guard<std::mutex> guard(m_lock);
            // From now on the script holds the path itself.
            path = m_current;
            m_running = path;
            m_current.clear();
            rinexName = name;
            adjustedNames = archive.adjusted;
            converter = Rtcm3::startMakeRinex(path, rinexName, context.station, environment);
            return converter.running();
        },
        [&](const Rtcm3::ScanResult& result) { scan = result; }, &quality};
    // The RINEX file goes beside its log file, in the directory the tokens expanded to.
    std::string problem;
    m_converter(Rtcm3::logFileDirectory(closed.path), steps, &problem, context);
    if (!rinexName.empty())
        reportTakenWithout(path, scan);
    for (const std::string& adjusted : adjustedNames)
        if (m_report)
            m_report("\n\tInfo: Archive name of " + path + ": " + adjusted + ".");

    lock.lock();
    // Where the file is now, should it have been moved aside during the scan.
    if (path.empty())
        path = m_current;
    m_current.clear();
    const bool launched = converter.running();
    if (launched)
    {
        if (const std::string ended = await(converter, "the conversion of " + path, lock); !ended.empty())
        {
            lock.unlock();
            reportNotConverted(path, Rtcm3::kMakeRinexProgram + ended);
            recordResult(path, ConversionResult::Ended, writeQuality(path, std::nullopt, quality));
            lock.lock();
            return;
        }
    }
    lock.unlock();
    const Rtcm3::MakeRinexReport made =
        launched ? Rtcm3::findMakeRinexReport(path, rinexName, converter.exitCode() == 0)
                 : Rtcm3::MakeRinexReport{};
    // The script says in its own log what went wrong; the operator learns here that something did.
    if (problem.empty() && launched && converter.exitCode() != 0)
        problem =
            std::string(Rtcm3::kMakeRinexProgram) +
            (converter.exitCode() < 0 ? std::string(" was ended by a signal")
                                      : " ended with exit status " + std::to_string(converter.exitCode())) +
            (made.log.empty() ? "; its .log beside the file says why" : "; its .log says why: " + made.log);
    if (!problem.empty())
        reportNotConverted(path, problem, otherStations(scan, context.station));
    else if (launched)
    {
        reportConverted(path, scan, rinexName, made);
        reportArchive(path, archiveFile, made);
    }
    const ConversionFiles files = writeQuality(path, made.rinex, quality);
    recordResult(path, problem.empty() ? ConversionResult::Converted : ConversionResult::Failed, files);
    lock.lock();
    if (problem.empty() && launched)
        handOn(path, made, files, lock);
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

namespace
{

std::string listed(const std::vector<std::string>& items)
{
    std::string list;
    for (const std::string& item : items)
        list += (list.empty() ? "" : ", ") + item;
    return list;
}

} // namespace

void CVelmorConversion::reportConverted(const std::string& path, const Rtcm3::ScanResult& scan,
                                        const std::string& rinexName,
                                        const Rtcm3::MakeRinexReport& made) const
{
    std::string files = listed(made.written);
    if (files.empty())
        files = rinexName + " (as asked: " + Rtcm3::kMakeRinexProgram + " named no file it wrote)";
    if (m_report)
        m_report("\n\tInfo: Converted " + path + " to RINEX: " + std::to_string(scan.epochs) +
                 (scan.epochs == 1 ? " epoch of " : " epochs of ") + Rtcm3::systemNames(scan.systems) +
                 " in " + files + ".");
}

void CVelmorConversion::reportArchive(const std::string& path, const std::string& observation,
                                      const Rtcm3::MakeRinexReport& made)
{
    if (observation.empty() || !m_report)
        return;
    if (!made.archived.empty())
        m_report("\n\tInfo: Archive copy of " + path + ": " + listed(made.archived) + ".");
    // A script of the operator's own may not know of archive copies.
    const std::string problem = !made.archiveProblem.empty() ? made.archiveProblem
                                : made.archived.empty()
                                    ? std::string(Rtcm3::kMakeRinexProgram) + " named none"
                                    : std::string();
    if (problem.empty())
    {
        m_archiveFailures.reset();
        return;
    }
    m_report("\n\tWARNING: Archive copy of " + path + " not written: " + problem + ".");
    if (m_archiveFailures.count() && m_archiveFailed)
        m_archiveFailed(observation);
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

std::string CVelmorConversion::await(Platform::ProcessGroup& program, const std::string& whose,
                                     std::unique_lock<std::mutex>& lock)
{
    const Clock::time_point limit = Clock::now() + m_timeLimit;
    bool pastLimit = false;
    for (;;)
    {
        std::erase_if(m_unreaped, [](Platform::ProcessGroup& group) { return group.ended(); });
        if (program.ended())
        {
            lock.unlock();
            endLeftovers(whose, {}, false);
            lock.lock();
            return {};
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
    std::vector<Platform::Program> members = Platform::groupMembers(program.leader());
    const pid_t leader = program.leader();
    const bool reaped = program.end(kEndWait);
    if (!reaped)
    {
        std::erase_if(members, [&](const Platform::Program& member) { return member.pid == leader; });
        m_unreaped.push_back(std::move(program));
    }
    const bool everything = endLeftovers(whose, std::move(members), true) && reaped;
    const std::string ended = everything ? " and was ended with every program it started"
                                         : (m_adopting ? " and was ended, but not every program it started"
                                                       : " and was ended with its process group");
    lock.lock();
    return pastLimit ? " ran past its time limit of " + std::to_string(m_timeLimit.count()) + " s" + ended
                     : " was still running when the logger ended" + ended;
}

void CVelmorConversion::handOn(const std::string& path, const Rtcm3::MakeRinexReport& made,
                               const ConversionFiles& files, std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    const std::vector<std::string> handed = handOffFiles(path, made, files);
    const std::string whose = std::string(kAfterRinexProgram) + " for " + path;
    const std::string what = whose + " (" + std::to_string(handed.size() - 1) + " files)";
    int error = 0;
    Platform::ProcessGroup program = startAfterRinex(handed, error);
    lock.lock();
    if (!program.running())
    {
        // None on the PATH: nothing to hand on to.
        if (error != ENOENT && m_report)
            m_report("\n\tWARNING: " + what + " could not be started: " + std::strerror(error) + ".");
        return;
    }
    std::string ended = await(program, whose, lock);
    const bool fine = ended.empty() && program.exitCode() == 0;
    if (ended.empty())
        ended = program.exitCode() < 0 ? std::string(" was ended by a signal")
                                       : " ended with exit status " + std::to_string(program.exitCode());
    if (m_report)
        m_report(std::string(fine ? "\n\tInfo: " : "\n\tWARNING: ") + what + ended + ".");
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
