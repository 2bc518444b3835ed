// The operator-message poster: formats numbered messages with their stored texts, filters repeats and
// records their arrival in the suite database. Once its writer runs, posting only queues the message:
// one writer thread records it, and keeps it and tries again while the database cannot be written (held by
// another process, a full disk, no file descriptor left).
#pragma once

#include "Database/MessageFormat.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

class CDBoperations;

// Told by the poster's notify after each message it recorded, so that the suite's other processes can
// look for it; how they are told (a sentence, say) is the notifier's business.
class CMessageNotifier
{
public:
    virtual ~CMessageNotifier() = default;
    virtual void messageRecorded() = 0;
};

class CMessages
{
public:
    static constexpr const char* loggingStatusToken = "MAIN_W_LOGGING_STATUS_ON_OFF";
    // Longest formatted text recorded: a 399-byte buffer with its terminating zero.
    static constexpr std::size_t maxFormattedLength = 398;
    // Messages waiting for the writer; past this the oldest is dropped and reported.
    static constexpr std::size_t maxPending = 1000;
    // Pause after a failed attempt, doubled after each further one up to the longest.
    static constexpr std::chrono::milliseconds firstRetryPause{200};
    static constexpr std::chrono::milliseconds longestRetryPause{30000};

    // One finished trace line (begins with "\n\t"), from whichever thread noticed the problem. A dropped
    // message is said on standard error as well.
    using Report = std::function<void(const std::string& line)>;
    // Takes the text a message is recorded with, once formed, on the thread that records it.
    using TextFormed = std::function<void(const std::string& text)>;

    CMessages() = default;
    // Stops the writer; what it could not record at once is reported.
    virtual ~CMessages();
    CMessages(const CMessages&) = delete;
    CMessages& operator=(const CMessages&) = delete;

    // The database for all statements; not owned.
    void setDatabase(CDBoperations* database) { m_database = database; }
    CDBoperations* database() const { return m_database; }

    // Where the poster says what it could not record; set it before the writer starts.
    void setReport(Report report);

    // Starts the writer thread. Before it runs (and after it stopped) a post records on the caller's
    // thread, once, as a poster without a writer always has.
    void startWriter();
    // Records what is still queued, trying again until drainLimit has passed, reports what is left as
    // dropped, and ends the thread.
    void stopWriter(std::chrono::milliseconds drainLimit);
    bool writerRunning() const;

    // Language 3, and the types of all messages through a separate connection. 0, or -1 on a database error
    // (then reported on stderr).
    int loadMessageTypes();

    // Records message N without text.
    void postMessage(int number);

    // Records message N with its stored text formatted with the arguments.
    template <typename... Args> void postFormattedMessage(int number, const Args&... args)
    {
        postFormattedArguments(number, {toMessageArgument(args)...});
    }
    void postFormattedArguments(int number, const std::vector<MessageArgument>& arguments,
                                TextFormed formed = {});

    // The type of message N, or its logging type while the logging status token is on.
    int messageType(int number);

    // For a process of the suite that announces new messages; the logger attaches none, so it never sends
    // the new-message sentence.
    virtual void attachNotifier(CMessageNotifier* notifier) { m_notifier = notifier; }
    virtual void notify();

    int language() const { return m_language; }

private:
    // A post as the writer gets it: recorded with the time it was posted, not the time it is written.
    struct Pending
    {
        int number = 0;
        bool plain = true;
        std::vector<MessageArgument> arguments;
        TextFormed formed;
        int date = 0;   // YYYYMMDD, UTC
        int hhmmss = 0; // UTC
        int milliseconds = 0;
        // How far recording got, so that another attempt goes on from there: the repeat filter has
        // counted it once time is set.
        std::optional<std::string> text;
        int time = 0;
        bool arrivalInserted = false;
    };

    // UTC now: YYYYMMDD, HHMMSS and milliseconds.
    static void currentTime(int& date, int& hhmmss, int& milliseconds);
    void post(Pending message);
    // One attempt at recording a message: its text, the arrival row, the text row, then notify. Nothing
    // when it is done (or filtered out as a repeat), else why it failed.
    struct Failure
    {
        bool busy = false; // another process holds the database: routine, not worth a line
        std::string reason;
    };
    std::optional<Failure> attempt(Pending& message);
    Failure failure() const;
    // The format text; nothing when it could not be read (then it is not cached, the next post asks
    // again).
    std::optional<std::string> formatText(int number);
    // Pauses the writer after a failure; the end of the process cuts the pause to what is left of it.
    void pauseBeforeRetry(std::chrono::milliseconds pause);
    static std::string fullQueue();
    // The trace line and the line on standard error that every dropped message gets.
    void reportDropped(const Pending& message, const std::string& why);
    void writerLoop();
    void report(const std::string& line) const;

    CDBoperations* m_database = nullptr;
    CMessageNotifier* m_notifier = nullptr;
    int m_language = 3;
    std::mutex m_cacheMutex; // the writer and a caller of messageType may meet here
    std::map<int, std::pair<int, int>> m_typeCache;
    std::map<int, std::string> m_textCache;

    Report m_report;
    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Pending> m_queue;
    std::thread m_writer;
    bool m_writerRunning = false; // set and cleared under m_queueMutex
    bool m_stopping = false;
    // The writer holds the oldest message, out of the queue, while it attempts it; a post that finds
    // the queue full then drops that one, once the attempt has failed.
    bool m_inHand = false;
    bool m_dropInHand = false;
    bool m_failing = false; // the last attempt failed other than on a busy database: said once
    std::string m_lastFailure;
    std::size_t m_dropped = 0; // under m_queueMutex
    std::chrono::steady_clock::time_point m_drainDeadline;
};
