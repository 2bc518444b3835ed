// The operator-message poster: formats numbered messages with their stored texts, filters repeats and
// records their arrival in the suite database.
#pragma once

#include "Database/MessageFormat.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>

class CDBoperations;

// Whatever can send a sentence for the poster's notify.
class CMessageNotifier
{
public:
    virtual ~CMessageNotifier() = default;
    virtual void sendSentence(const char* bytes, std::size_t length) = 0;
};

class CMessages
{
public:
    static constexpr const char* newMessageSentence = "$PZELT,32\n\r";
    static constexpr const char* loggingStatusToken = "MAIN_W_LOGGING_STATUS_ON_OFF";
    // Longest formatted text recorded: a 399-byte buffer with its terminating zero.
    static constexpr std::size_t maxFormattedLength = 398;

    CMessages() = default;
    virtual ~CMessages() = default;
    CMessages(const CMessages&) = delete;
    CMessages& operator=(const CMessages&) = delete;

    // The database for all statements; not owned.
    void setDatabase(CDBoperations* database) { m_database = database; }
    CDBoperations* database() const { return m_database; }

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
    void postFormattedArguments(int number, const std::vector<MessageArgument>& arguments);

    // The type of message N, or its logging type while the logging status token is on.
    int messageType(int number);

    virtual void attachNotifier(CMessageNotifier* notifier) { m_notifier = notifier; }
    virtual void notify();

    int language() const { return m_language; }

private:
    // UTC now: YYYYMMDD, HHMMSS and milliseconds.
    static void currentTime(int& date, int& hhmmss, int& milliseconds);
    // Looks the type up, then records the arrival now; the recorded time of day in ms with its date, 0 when
    // filtered out or without a database.
    int recordArrivalNow(int number, const std::string& text, bool plain, int& date);
    const std::string& formatText(int number);

    CDBoperations* m_database = nullptr;
    CMessageNotifier* m_notifier = nullptr;
    int m_language = 3;
    std::map<int, std::pair<int, int>> m_typeCache;
    std::map<int, std::string> m_textCache;
};
