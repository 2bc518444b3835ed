// A small ODBC statement layer for whole-table reads: connect by connection string, run a query, take
// its rows; errors come back with message, statement, SQL state and the call that failed.
#pragma once

#include <sql.h>

#include <functional>
#include <string>
#include <vector>

namespace Database::detail
{

struct OdbcError
{
    std::string message;
    std::string statement;
    std::string sqlState;
    std::string variableInfo;
};

class OdbcSession
{
public:
    OdbcSession() = default;
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    bool connect(const std::string& connectionString);
    void disconnect();
    // Runs the query and hands each row's first `columns` values, as integers (NULL gives 0), to the
    // callback.
    bool queryIntegers(const std::string& statement, int columns,
                       const std::function<void(const std::vector<long long>&)>& row);

    const OdbcError& error() const { return m_error; }

private:
    void setError(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& statement, const char* call);

    SQLHENV m_environment = SQL_NULL_HENV;
    SQLHDBC m_connection = SQL_NULL_HDBC;
    bool m_connected = false;
    OdbcError m_error;
};

} // namespace Database::detail
