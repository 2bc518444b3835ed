// The operator-message poster: stored texts, types, repeat filter and arrival records.
#include "Database/Messages.h"

#include "Database/DBoperations.h"
#include "Database/SuiteLogin.h"

#include "OdbcSession.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

#include <fmt/printf.h>

int CMessages::loadMessageTypes()
{
    m_language = 3;
    const std::string login =
        m_database != nullptr ? m_database->odbcConnectionText() : Database::suiteConnectionText();
    Database::detail::OdbcSession session;
    const std::string statement = "select number, type, typeLogging from messages where lang=1";
    const bool loaded =
        session.connect(login) &&
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
    std::optional<std::pair<int, int>> types;
    {
        const std::lock_guard<std::mutex> guard(m_cacheMutex);
        const auto cached = m_typeCache.find(number);
        if (cached != m_typeCache.end())
            types = cached->second;
    }
    if (!types)
    {
        int type = 0;
        int typeLogging = 0;
        if (m_database == nullptr || m_database->readMessageType(number, type, typeLogging) != 0)
            type = typeLogging = 0;
        types = std::make_pair(type == 0 ? 1 : type, typeLogging == 0 ? 1 : typeLogging);
        const std::lock_guard<std::mutex> guard(m_cacheMutex);
        m_typeCache.emplace(number, *types);
    }
    const int loggingOn = m_database != nullptr ? m_database->readIntToken(loggingStatusToken) : 0;
    return loggingOn <= 0 ? types->first : types->second;
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

void CMessages::postMessage(int number)
{
    Pending message;
    message.number = number;
    message.plain = true;
    post(std::move(message));
}

void CMessages::postFormattedArguments(int number, const std::vector<MessageArgument>& arguments,
                                       TextFormed formed)
{
    Pending message;
    message.number = number;
    message.plain = false;
    message.arguments = arguments;
    message.formed = std::move(formed);
    post(std::move(message));
}

std::optional<std::string> CMessages::formatText(int number)
{
    {
        const std::lock_guard<std::mutex> guard(m_cacheMutex);
        const auto cached = m_textCache.find(number);
        if (cached != m_textCache.end())
            return cached->second;
    }
    const std::optional<std::string> text =
        m_database != nullptr ? m_database->readMessageText(number, m_language) : std::nullopt;
    if (text)
    {
        const std::lock_guard<std::mutex> guard(m_cacheMutex);
        m_textCache.emplace(number, *text);
    }
    return text;
}

std::optional<CMessages::Failure> CMessages::attempt(Pending& message)
{
    if (!message.text)
        messageType(message.number);
    if (m_database == nullptr)
        return std::nullopt;
    // Each statement and what its failure was, together: another thread may use the database between.
    const auto hold = m_database->exclusive();
    if (!message.text && message.plain)
        message.text = " ";
    if (!message.text)
    {
        const std::optional<std::string> format = formatText(message.number);
        if (!format)
            return failure();
        message.text = formatMessageText(*format, message.arguments, maxFormattedLength);
    }
    // Once: a retry forms no new text.
    if (message.formed)
        std::exchange(message.formed, {})(*message.text);
    if (message.time == 0)
    {
        message.time = m_database->admitArrival(message.date, message.hhmmss, message.milliseconds,
                                                message.number, *message.text, message.plain);
        if (message.time == 0)
            return std::nullopt;
    }
    if (!message.arrivalInserted)
    {
        if (m_database->insertArrival(message.date, message.time, message.number) != 0)
            return failure();
        message.arrivalInserted = true;
    }
    if (!message.plain && m_database->recordArrivalText(message.date, message.time, message.number,
                                                        m_language, *message.text) != 0)
        return failure();
    notify();
    return std::nullopt;
}

CMessages::Failure CMessages::failure() const
{
    return {m_database->lastFailureBusy(), m_database->lastFailureText()};
}

void CMessages::notify()
{
    if (m_notifier != nullptr)
        m_notifier->messageRecorded();
}
