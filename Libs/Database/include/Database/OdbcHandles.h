// ODBC handles that are let go of in one way, shared by the connection classes of the database layer.
#pragma once

#include <sql.h>

namespace Database::detail
{

// Frees the connection handle, then its environment, each only when allocated, and nulls both. The
// caller disconnects first in its own way.
inline void freeHandles(SQLHDBC& connection, SQLHENV& environment)
{
    if (connection != SQL_NULL_HDBC)
        SQLFreeHandle(SQL_HANDLE_DBC, connection);
    connection = SQL_NULL_HDBC;
    if (environment != SQL_NULL_HENV)
        SQLFreeHandle(SQL_HANDLE_ENV, environment);
    environment = SQL_NULL_HENV;
}

// A statement handle that frees itself; empty until allocated.
class OdbcStatement
{
public:
    OdbcStatement() = default;
    ~OdbcStatement() { reset(); }
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    // Frees the statement held, then allocates one on connection; the allocation's return code.
    SQLRETURN allocate(SQLHDBC connection)
    {
        reset();
        const SQLRETURN result = SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_handle);
        if (!SQL_SUCCEEDED(result))
            m_handle = SQL_NULL_HSTMT;
        return result;
    }
    void reset()
    {
        if (m_handle != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
        m_handle = SQL_NULL_HSTMT;
    }
    SQLHSTMT get() const { return m_handle; }
    explicit operator bool() const { return m_handle != SQL_NULL_HSTMT; }

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

} // namespace Database::detail
