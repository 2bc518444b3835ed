// The database object's settings statements: version, process ids, tokens and logging parameters.
#include "Database/DBoperations.h"

#include "SqlText.h"

#include <QtGlobal>
#include <fmt/printf.h>
#include <sql.h>
#include <sqlext.h>

#include <array>

using Database::detail::boundText;
using Database::detail::sqlQuoted;
using Database::detail::statementText;
using Database::detail::succeeded;

int CDBoperations::readVersion(int& versionNumber, std::string& versionName)
{
    const auto hold = exclusive();
    if (m_connectionHandle == SQL_NULL_HDBC)
        return -1;
    const std::string statement = "SELECT current_version,current_versionname FROM zelt_version";
    SQLUINTEGER number = 0;
    char name[200] = {};
    SQLLEN indicators[2] = {};
    // A failed bind of the number has always been reported as the allocation step.
    if (!executeStatement(statement, {{SQL_C_ULONG, &number, sizeof number, &indicators[0], 506},
                                      {SQL_C_CHAR, name, sizeof name, &indicators[1]}}))
        return -1;
    SQLSMALLINT columns = 0;
    m_lastReturnCode = SQLNumResultCols(m_statement.get(), &columns);
    if (!succeeded(m_lastReturnCode))
        return fail(509, m_lastReturnCode, statement);
    while (succeeded(m_lastReturnCode = SQLFetch(m_statement.get())))
    {
        versionNumber = static_cast<int>(number);
        versionName = boundText(name);
        name[0] = '\0';
    }
    freeStatement();
    return 0;
}

int CDBoperations::readProcessId(const char* processName, int& processId)
{
    const auto hold = exclusive();
    const std::string statement = fmt::sprintf("select pid from process where processname = '%s'",
                                               sqlQuoted(processName ? processName : ""));
    SQLUINTEGER pid = 0;
    const Fetched fetched = fetchOneUnsigned(statement, pid);
    if (fetched == Fetched::Failed)
        return -1;
    processId = fetched == Fetched::Row ? static_cast<int>(pid) : 0;
    freeStatement();
    return 0;
}

int CDBoperations::readToken(const char* tokenName, TokenValue& value)
{
    const auto hold = exclusive();
    const std::string name = tokenName != nullptr ? tokenName : "";
    qDebug("Get token %s", name.c_str());

    std::string statement =
        fmt::sprintf("select value_id from token_value where token=upper('%s')", sqlQuoted(name));
    SQLUINTEGER valueId = 0;
    const Fetched fetched = fetchOneUnsigned(statement, valueId);
    if (fetched == Fetched::Failed)
        return -1;
    freeStatement();
    if (fetched == Fetched::NoRow)
        return -1;

    const int id = static_cast<int>(valueId);
    SQLLEN indicator = 0;
    static constexpr std::array<const char*, 3> tables = {"float_values", "integer_values", "varchar_values"};
    TokenKind kind = TokenKind::None;
    for (std::size_t table = 0; table < tables.size() && kind == TokenKind::None; ++table)
    {
        statement = fmt::sprintf("select id from %s where id ='%i'", tables[table], id);
        SQLUINTEGER found = static_cast<SQLUINTEGER>(-1);
        if (!prepareStatement(statement, {{SQL_C_ULONG, &found, sizeof found, &indicator}}))
            return -1;
        // A probe that cannot run only means the id is not in that table.
        m_lastReturnCode = SQLExecDirect(m_statement.get(), statementText(statement), SQL_NTS);
        if (m_lastReturnCode == SQL_SUCCESS && succeeded(SQLFetch(m_statement.get())) &&
            found != static_cast<SQLUINTEGER>(-1))
            kind = tokenKindOf(static_cast<int>(table) + 1);
        freeStatement();
    }
    if (kind == TokenKind::None)
        return 0;

    double floatValue = 0.0;
    SQLUINTEGER intValue = 0;
    char textValue[300] = {};
    const BoundColumn column =
        kind == TokenKind::Float     ? BoundColumn{SQL_C_DOUBLE, &floatValue, sizeof floatValue, &indicator}
        : kind == TokenKind::Integer ? BoundColumn{SQL_C_ULONG, &intValue, sizeof intValue, &indicator}
                                     : BoundColumn{SQL_C_CHAR, textValue, sizeof textValue, &indicator};
    statement =
        fmt::sprintf("select value from %s where id='%i'", tables[static_cast<std::size_t>(kind) - 1], id);
    if (!executeStatement(statement, {column}) || !fetchRow(statement))
        return -1;
    value.kind = kind;
    if (kind == TokenKind::Float)
        value.floatValue = floatValue;
    else if (kind == TokenKind::Integer)
        value.intValue = static_cast<std::int32_t>(intValue);
    else
        value.textValue = boundText(textValue);
    freeStatement();
    return 0;
}

int CDBoperations::readIntToken(const char* tokenName)
{
    const auto hold = exclusive();
    TokenValue value;
    if (readToken(tokenName, value) != 0)
        return 0;
    return value.kind == TokenKind::Integer ? value.intValue : 0;
}

int CDBoperations::readLoggingParameters(const char* userName, LoggingParameters& parameters)
{
    const auto hold = exclusive();
    const std::string statement = fmt::sprintf(
        "SELECT logging_enabled, logging_selected, dir_value_enabled, dir_value, file_value, browse_enabled, "
        "browse_selected, line_interval_value_enabled, line_interval_value, apply_enabled, apply_selected "
        "FROM "
        "velmor_param, users WHERE users.name = '%s' AND users.id = velmor_param.id ",
        sqlQuoted(userName != nullptr ? userName : ""));
    SQLUINTEGER integers[8] = {};
    char dirValue[300] = {};
    char fileValue[300] = {};
    char intervalValue[10] = {};
    SQLLEN indicators[11] = {};

    if (!executeStatement(statement, {{SQL_C_ULONG, &integers[0], sizeof(SQLUINTEGER), &indicators[0]},
                                      {SQL_C_ULONG, &integers[1], sizeof(SQLUINTEGER), &indicators[1]},
                                      {SQL_C_ULONG, &integers[2], sizeof(SQLUINTEGER), &indicators[2]},
                                      {SQL_C_CHAR, dirValue, sizeof dirValue, &indicators[3]},
                                      {SQL_C_CHAR, fileValue, sizeof fileValue, &indicators[4]},
                                      {SQL_C_ULONG, &integers[3], sizeof(SQLUINTEGER), &indicators[5]},
                                      {SQL_C_ULONG, &integers[4], sizeof(SQLUINTEGER), &indicators[6]},
                                      {SQL_C_ULONG, &integers[5], sizeof(SQLUINTEGER), &indicators[7]},
                                      {SQL_C_CHAR, intervalValue, sizeof intervalValue, &indicators[8]},
                                      {SQL_C_ULONG, &integers[6], sizeof(SQLUINTEGER), &indicators[9]},
                                      {SQL_C_ULONG, &integers[7], sizeof(SQLUINTEGER), &indicators[10]}}) ||
        !fetchRow(statement))
        return -1;

    parameters.logging_enabled = static_cast<int>(integers[0]);
    parameters.logging_selected = static_cast<int>(integers[1]);
    parameters.dir_value_enabled = static_cast<int>(integers[2]);
    parameters.dir_value = boundText(dirValue);
    parameters.file_value = boundText(fileValue);
    parameters.browse_enabled = static_cast<int>(integers[3]);
    parameters.browse_selected = static_cast<int>(integers[4]);
    parameters.line_interval_value_enabled = static_cast<int>(integers[5]);
    parameters.line_interval_value = boundText(intervalValue);
    parameters.apply_enabled = static_cast<int>(integers[6]);
    parameters.apply_selected = static_cast<int>(integers[7]);
    freeStatement();
    return 0;
}
