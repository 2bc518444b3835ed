// The conversion thread: scans every closed log file and runs "makerinex.bat" for it, one file at a
// time in the order the files were closed, so that no scan ever holds up the datagram path and a
// hanging conversion holds one process group, for its time limit at most.
#pragma once

#include "Platform/Orphans.h"
#include "Platform/ProcessGroup.h"
#include "RORUVivozo/VelmorReportThrottle.h"
#include "RORUVivozo/VelmorStatus.h"
#include "Rtcm3/ConvertLogFile.h"
#include "Rtcm3/MakeRinexReport.h"
#include "Rtcm3/ScanContext.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The reference station whose messages the conversion reads; read as each file's conversion begins.
inline constexpr char kTokenStationId[] = "RTCM_STATION_ID";

class CVelmorConversion
{
public:
    // One finished trace line (a data line of the control; begins with "\n\t").
    using Report = std::function<void(const std::string& line)>;
    // Converts one closed file through the steps; Rtcm3::convertLogFile.
    using Converter = std::function<bool(const std::string& logDirectory, const Rtcm3::ConversionSteps& steps,
                                         std::string* problem, const Rtcm3::ScanContext& context)>;
    // What the scan of a file opened at the given time (0: by someone else) is to know; asked on the
    // conversion's thread as the file's conversion begins, since it reads the token store.
    using ContextOf = std::function<Rtcm3::ScanContext(std::time_t opened)>;
    // Gets the archive copy (written form) that could not be written: the operator's cue.
    using ArchiveFailed = std::function<void(const std::string& archiveFile)>;

    // A conversion, and the afterrinex after it, still running after timeLimit is ended with every
    // program it started. Each file's queueing and result go to status when one is given.
    CVelmorConversion(std::chrono::seconds timeLimit, Report report, ContextOf contextOf = {},
                      Converter converter = {}, CLoggerStatus* status = nullptr,
                      ArchiveFailed archiveFailed = {});
    // Finishes (below), then ends the thread.
    ~CVelmorConversion();
    CVelmorConversion(const CVelmorConversion&) = delete;
    CVelmorConversion& operator=(const CVelmorConversion&) = delete;

    // Queues a closed file, opened at the given time; returns at once. When onDisk is given, the file is
    // read once it is ready, as its data is then on disk.
    void convert(const std::string& path, std::time_t opened, std::shared_future<bool> onDisk = {});
    // Runs move (a rename of the file at from to to) while no conversion opens a file, and when it
    // succeeded lets a conversion that still has to open or launch from take to instead. True when
    // one that has still to open it did.
    bool follow(const std::string& from, const std::string& to, const std::function<bool()>& move);
    // Goes on converting what is queued, but for no longer than one conversion may take and at most
    // kFinishLimit: then the running one is ended, what still waits is reported, and the thread ends.
    // Nothing is queued afterwards.
    void finish();
    // The files waiting for their conversion or being converted, as queued or followed.
    std::vector<std::string> pending();

    // Well inside the service's stop timeout, with room for the rest of the logger's shutdown.
    static constexpr std::chrono::seconds kFinishLimit{60};
    // An archive copy not written is told to the operator at the first failure, then every this many.
    static constexpr int32_t kArchiveFailureReportEvery = 1000;

private:
    void run();
    void convertNext(std::unique_lock<std::mutex>& lock);
    // Waits until the file is on disk; false when the finish limit came first.
    bool awaitOnDisk(const std::shared_future<bool>& onDisk, std::unique_lock<std::mutex>& lock);
    // Waits for a started program until it ends, runs past its limit or the finish limit; then ends it
    // with every program it started, naming what it ended as whose. Returns how it ended: " ran past
    // its time limit of 600 s and was ended with every program it started", ...; empty when by itself.
    std::string await(Platform::ProcessGroup& program, const std::string& whose,
                      std::unique_lock<std::mutex>& lock);
    // After a conversion that succeeded: afterrinex, when there is one, with the log file and every file
    // written for it, for the conversion's time limit at most; its end in the trace.
    void handOn(const std::string& path, const Rtcm3::MakeRinexReport& made, const ConversionFiles& files,
                std::unique_lock<std::mutex>& lock);
    // Ends and reaps what the conversions left running, as far as this process adopts orphans, and says
    // what it ended (expected: at a limit; else left behind by a script that ended). True when nothing
    // of it runs on.
    bool endLeftovers(const std::string& whose, std::vector<Platform::Program> killed, bool expected);
    void endUnreaped();
    // advice, when given, is a line of its own after the problem.
    void reportNotConverted(const std::string& path, const std::string& problem,
                            const std::string& advice = {}) const;
    // What the file goes without, one "Info:" line each, and, once the script succeeded, what it wrote.
    void reportTakenWithout(const std::string& path, const Rtcm3::ScanResult& scan) const;
    void reportConverted(const std::string& path, const Rtcm3::ScanResult& scan, const std::string& rinexName,
                         const Rtcm3::MakeRinexReport& made) const;
    // What became of the archive copy asked for (observation: its file, written form): its files, or
    // why there are none, which the operator is told of.
    void reportArchive(const std::string& path, const std::string& observation,
                       const Rtcm3::MakeRinexReport& made);
    // For a file without observations of the station: the stations it holds, and the token to set.
    static std::string otherStations(const Rtcm3::ScanResult& scan, unsigned int station);
    void recordResult(const std::string& path, ConversionResult result,
                      const ConversionFiles& files = {}) const;
    // Writes the quality report and picture of the file's scan beside its RINEX file (beside the file
    // without one), within what is left of the finish limit once finishing.
    ConversionFiles writeQuality(const std::string& path, const std::optional<std::string>& rinex,
                                 Rtcm3::QualityFigures& figures);

    const std::chrono::seconds m_timeLimit;
    Report m_report;
    ContextOf m_contextOf;
    Converter m_converter;
    CLoggerStatus* m_status;
    ArchiveFailed m_archiveFailed;
    // The operator hears of the first archive copy not written, and of every 1000th after, as of a log
    // file not opened; once one is written, of the next failure again.
    CReportThrottle m_archiveFailures{kArchiveFailureReportEvery};
    // Whether the orphans of a conversion's programs come to this process (the logger makes sure).
    const bool m_adopting;
    std::mutex m_lock; // the queue and the path of the file being converted
    std::condition_variable m_queued;
    struct Closed
    {
        std::string path;
        std::time_t opened;
        std::shared_future<bool> onDisk;
    };
    std::deque<Closed> m_waiting;
    std::string m_current;        // path of the file being converted; empty when none is
    std::string m_running;        // path the script was started for, until its conversion ends
    bool m_currentOpened = false; // its scan has opened it
    bool m_finishing = false;
    std::chrono::steady_clock::time_point m_finishBy; // once finishing: when the last conversion is ended
    std::vector<Platform::ProcessGroup> m_unreaped;   // killed, but still in the kernel when last looked at
    std::thread m_thread;
};
