// The database object's operator-message statements: texts, types, and arrivals with their repeat filter.
#include "Database/DBoperations.h"

#include "SqlText.h"

#include <fmt/printf.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>

using Database::detail::boundText;
using Database::detail::sqlQuoted;
using Database::detail::succeeded;

namespace
{

constexpr int lastMillisecondOfDay = 86399999;
constexpr std::size_t maxMessageTextLength = 399;

} // namespace

std::optional<std::string> CDBoperations::readMessageText(int number, int language)
{
    const auto hold = exclusive();
    const std::string statement =
        fmt::sprintf("select mess from messages where lang = %d and number = %d", language, number);
    char mess[400] = {};
    SQLLEN indicator = 0;
    if (!executeStatement(statement, {{SQL_C_CHAR, mess, sizeof mess, &indicator}}))
        return std::nullopt;
    m_lastReturnCode = SQLFetch(m_statement.get());
    std::string text;
    // A text longer than the buffer comes back cut, with information; it is still the message's text.
    if (succeeded(m_lastReturnCode))
        text = boundText(mess);
    else
        text = fmt::sprintf("**** Error retrieving message no: %d from database ****\r\n", number);
    freeStatement();

    std::string result = language == 3 ? m_translator->translate(text) : toUtf8(text);
    if (result.size() > maxMessageTextLength)
        result.resize(maxMessageTextLength);
    return result;
}

int CDBoperations::readMessageType(int number, int& type, int& typeLogging)
{
    const auto hold = exclusive();
    const std::string statement =
        fmt::sprintf("select type,typeLogging from messages where number = %d", number);
    SQLUINTEGER values[2] = {};
    SQLLEN indicators[2] = {};
    // A failed bind here has always been reported as the allocation step.
    if (!executeStatement(statement, {{SQL_C_ULONG, &values[0], sizeof(SQLUINTEGER), &indicators[0], 506},
                                      {SQL_C_ULONG, &values[1], sizeof(SQLUINTEGER), &indicators[1], 506}}) ||
        !fetchRow(statement))
        return -1;
    type = static_cast<int>(values[0]);
    typeLogging = static_cast<int>(values[1]);
    freeStatement();
    return 0;
}

int CDBoperations::admitArrival(int dateYYYYMMDD, int timeHHMMSS, int milliseconds, int number,
                                const std::string& text, bool plain)
{
    const auto hold = exclusive();
    (void)dateYYYYMMDD; // the filter looks at the time of day only
    const int hours = timeHHMMSS / 10000;
    const int minutes = timeHHMMSS / 100 % 100;
    const int seconds = timeHHMMSS % 100;
    int time = milliseconds + (hours * 3600 + minutes * 60 + seconds) * 1000;
    // Two records never share a millisecond: the reader orders arrivals by time of day.
    if (time == m_lastRecordedTime)
        ++time;
    if (time > lastMillisecondOfDay)
        --time;

    const auto last = m_lastArrival.find(number);
    if (last != m_lastArrival.end() && last->second != 0)
    {
        if (std::abs(last->second - time) < m_repeatWindow)
        {
            if (plain)
                return 0;
            const auto lastText = m_lastText.find(number);
            if (text == (lastText != m_lastText.end() ? lastText->second : std::string(" ")))
                return 0;
            m_lastText[number] = text;
        }
    }
    else if (!plain)
        m_lastText[number] = text;

    m_lastRecordedTime = time;
    m_lastArrival[number] = time;
    return time;
}

int CDBoperations::recordArrival(int dateYYYYMMDD, int timeHHMMSS, int milliseconds, int number,
                                 const std::string& text, bool plain)
{
    const auto hold = exclusive();
    const int time = admitArrival(dateYYYYMMDD, timeHHMMSS, milliseconds, number, text, plain);
    // Recorded also when the INSERT fails: its failure is in the dump file and lastFailureBusy().
    if (time != 0)
        insertArrival(dateYYYYMMDD, time, number);
    return time;
}

int CDBoperations::insertArrival(int dateYYYYMMDD, int millisecSinceMidnight, int number)
{
    const auto hold = exclusive();
    const std::string statement = fmt::sprintf(
        "INSERT INTO arrivedMessages(dateYYYYMMDD,millisecSinceMidnight,number) values (%d,%d,%d)",
        dateYYYYMMDD, millisecSinceMidnight, number);
    if (!executeStatement(statement))
        return -1;
    freeStatement();
    return 0;
}

int CDBoperations::recordArrivalText(int dateYYYYMMDD, int millisecSinceMidnight, int number, int language,
                                     const std::string& text)
{
    const auto hold = exclusive();
    (void)number; // the text row is tied to its arrival by date and time
    const std::string statement =
        fmt::sprintf("INSERT INTO arrivedMessagesString(dateYYYYMMDD,millisecSinceMidnight,lang,mess) values "
                     "(%d,%d,%d,'%s')",
                     dateYYYYMMDD, millisecSinceMidnight, language, sqlQuoted(text));
    if (!executeStatement(statement))
        return -1;
    freeStatement();
    return 0;
}
