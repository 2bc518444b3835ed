// Letting go of an ODBC connection's handles, shared by the connection classes of the database layer.
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

} // namespace Database::detail
