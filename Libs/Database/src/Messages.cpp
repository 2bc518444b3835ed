// The operator-message poster: stored texts, types, repeat filter and arrival records.
#include "Database/Messages.h"

#include "Database/DBoperations.h"

#include "OdbcSession.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

int CMessages::loadMessageTypes()
{
    m_language = 3;
    const std::string dataSource = m_database != nullptr ? m_database->dataSource() : std::string("ZELTDB");
    Database::detail::OdbcSession session;
    const std::string statement = "select number, type, typeLogging from messages where lang=1";
    const bool loaded =
        session.connect("UID=zeltuser;PWD=vandel7;DSN=" + dataSource) &&
        session.queryIntegers(
            statement, 3,
            [this](const std::vector<long long>& row) {
                m_typeCache[static_cast<int>(row[0])] = {static_cast<int>(row[1]), static_cast<int>(row[2])};
            });
    if (!loaded)
    {
        const auto& error = session.error();
        std::fprintf(stderr, "%s\n%s\n%s\n%s\n", error.message.c_str(), error.statement.c_str(),
                     error.sqlState.c_str(), error.variableInfo.c_str());
    }
    session.disconnect();
    return loaded ? 0 : -1;
}

int CMessages::messageType(int number)
{
    auto cached = m_typeCache.find(number);
    if (cached == m_typeCache.end())
    {
        int type = 0;
        int typeLogging = 0;
        if (m_database == nullptr || m_database->readMessageType(number, type, typeLogging) != 0)
            type = typeLogging = 0;
        cached =
            m_typeCache
                .emplace(number, std::make_pair(type == 0 ? 1 : type, typeLogging == 0 ? 1 : typeLogging))
                .first;
    }
    const int loggingOn = m_database != nullptr ? m_database->readIntToken(loggingStatusToken) : 0;
    return loggingOn <= 0 ? cached->second.first : cached->second.second;
}

void CMessages::currentTime(int& date, int& hhmmss, int& milliseconds)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    date = (utc.tm_year + 1900) * 10000 + (utc.tm_mon + 1) * 100 + utc.tm_mday;
    hhmmss = utc.tm_hour * 10000 + utc.tm_min * 100 + utc.tm_sec;
    milliseconds = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
}

int CMessages::recordArrivalNow(int number, const std::string& text, bool plain, int& date)
{
    messageType(number);
    if (m_database == nullptr)
        return 0;
    int hhmmss = 0;
    int milliseconds = 0;
    currentTime(date, hhmmss, milliseconds);
    return m_database->recordArrival(date, hhmmss, milliseconds, number, text, plain);
}

void CMessages::postMessage(int number)
{
    int date = 0;
    if (recordArrivalNow(number, " ", true, date) != 0)
        notify();
}

const std::string& CMessages::formatText(int number)
{
    auto cached = m_textCache.find(number);
    if (cached == m_textCache.end())
    {
        std::optional<std::string> text;
        if (m_database != nullptr)
            text = m_database->readMessageText(number, m_language);
        cached = m_textCache.emplace(number, text.value_or(std::string())).first;
    }
    return cached->second;
}

void CMessages::postFormattedArguments(int number, const std::vector<MessageArgument>& arguments)
{
    const std::string text = formatMessageText(formatText(number), arguments, maxFormattedLength);
    int date = 0;
    const int time = recordArrivalNow(number, text, false, date);
    if (time == 0)
        return;
    m_database->recordArrivalText(date, time, number, m_language, text);
    notify();
}

void CMessages::notify()
{
    if (m_notifier != nullptr)
        m_notifier->sendSentence(newMessageSentence, std::strlen(newMessageSentence));
}
