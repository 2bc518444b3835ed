// A small ODBC statement layer for whole-table reads.
#include "OdbcSession.h"

#include "Database/OdbcHandles.h"

#include <sql.h>
#include <sqlext.h>

#include <memory>

namespace Database::detail
{
OdbcSession::~OdbcSession()
{
    disconnect();
}

void OdbcSession::setError(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& statement,
                           const char* call)
{
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    m_error = {};
    if (handle != SQL_NULL_HANDLE && SQL_SUCCEEDED(SQLGetDiagRec(handleType, handle, 1, state, &nativeError,
                                                                 message, sizeof message, &length)))
    {
        m_error.message = reinterpret_cast<const char*>(message);
        m_error.sqlState = reinterpret_cast<const char*>(state);
    }
    else
        m_error.message = std::string(call) + " failed";
    m_error.statement = statement;
    m_error.variableInfo = call;
}

bool OdbcSession::connect(const std::string& connectionString)
{
    disconnect();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_environment)))
    {
        m_environment = SQL_NULL_HENV;
        setError(SQL_HANDLE_ENV, SQL_NULL_HANDLE, connectionString, "SQLAllocHandle");
        return false;
    }
    SQLSetEnvAttr(m_environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_environment, &m_connection)))
    {
        m_connection = SQL_NULL_HDBC;
        setError(SQL_HANDLE_ENV, m_environment, connectionString, "SQLAllocHandle");
        disconnect();
        return false;
    }
    SQLCHAR out[1024] = {};
    SQLSMALLINT outLength = 0;
    const SQLRETURN result = SQLDriverConnect(
        m_connection, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())),
        SQL_NTS, out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(result))
    {
        // The password is no business of a log.
        setError(SQL_HANDLE_DBC, m_connection, "", "SQLDriverConnect");
        disconnect();
        return false;
    }
    m_connected = true;
    return true;
}

void OdbcSession::disconnect()
{
    if (m_connection != SQL_NULL_HDBC && m_connected)
        SQLDisconnect(m_connection);
    m_connected = false;
    freeHandles(m_connection, m_environment);
}

bool OdbcSession::queryIntegers(const std::string& statement, int columns,
                                const std::function<void(const std::vector<long long>&)>& row)
{
    OdbcStatement handle;
    if (!m_connected || !SQL_SUCCEEDED(handle.allocate(m_connection)))
    {
        setError(SQL_HANDLE_DBC, m_connection, statement, "SQLAllocHandle");
        return false;
    }
    const SQLHSTMT raw = handle.get();
    SQLRETURN result =
        SQLExecDirect(raw, reinterpret_cast<SQLCHAR*>(const_cast<char*>(statement.c_str())), SQL_NTS);
    if (!SQL_SUCCEEDED(result))
    {
        setError(SQL_HANDLE_STMT, raw, statement, "SQLExecDirect");
        return false;
    }
    std::vector<long long> values(static_cast<std::size_t>(columns));
    while (SQL_SUCCEEDED(result = SQLFetch(raw)))
    {
        for (int column = 0; column < columns; ++column)
        {
            SQLBIGINT value = 0;
            SQLLEN indicator = 0;
            const SQLRETURN got = SQLGetData(raw, static_cast<SQLUSMALLINT>(column + 1), SQL_C_SBIGINT,
                                             &value, sizeof value, &indicator);
            if (!SQL_SUCCEEDED(got))
            {
                setError(SQL_HANDLE_STMT, raw, statement, "SQLGetData");
                return false;
            }
            values[static_cast<std::size_t>(column)] = indicator == SQL_NULL_DATA ? 0 : value;
        }
        row(values);
    }
    if (result != SQL_NO_DATA)
    {
        setError(SQL_HANDLE_STMT, raw, statement, "SQLFetch");
        return false;
    }
    return true;
}

} // namespace Database::detail
