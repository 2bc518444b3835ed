// One ODBC connection to a data source, opened with a plain DSN connect and closed when the object goes.
#pragma once

#include <sql.h>

#include <optional>
#include <string>

class CDBconnection
{
public:
    CDBconnection() = default;
    virtual ~CDBconnection();
    CDBconnection(const CDBconnection&) = delete;
    CDBconnection& operator=(const CDBconnection&) = delete;

    // Each replaces the stored text; a missing text returns -1, else 0.
    int setDataSource(const char* dataSource);
    int setUser(const char* user);
    int setPassword(const char* password);

    // 0 when connected, -1 otherwise (the handles are then released).
    int open();

    // The connection handle, or SQL_NULL_HDBC until open succeeded.
    SQLHDBC connectionHandle() const { return m_connection; }
    SQLRETURN lastReturnCode() const { return m_lastReturnCode; }
    const std::optional<std::string>& dataSource() const { return m_dataSource; }

private:
    void release();

    SQLHENV m_environment = SQL_NULL_HENV;
    SQLRETURN m_lastReturnCode = 0;
    SQLHDBC m_connection = SQL_NULL_HDBC;
    bool m_connected = false;
    std::optional<std::string> m_dataSource;
    std::optional<std::string> m_user;
    std::optional<std::string> m_password;
};
