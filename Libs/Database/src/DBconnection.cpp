// One ODBC connection to a data source, opened with a plain DSN connect and closed when the object goes.
#include "Database/DBconnection.h"

#include "Database/OdbcHandles.h"

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <mutex>

namespace
{

int storeText(std::optional<std::string>& target, const char* text)
{
    if (text == nullptr)
        return -1;
    target = std::string(text);
    return 0;
}

SQLCHAR* sqlText(const std::optional<std::string>& text)
{
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text->c_str()));
}

// The SQLite driver loads the settings reader at each connect and unloads it after, dropping the reader's
// cache of the ini files each time. Holding it for the whole process keeps one cache and one load.
void keepSettingsReaderLoaded()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       if (dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE) == nullptr)
                           dlopen("libodbcinst.so", RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
                   });
}

} // namespace

CDBconnection::~CDBconnection()
{
    release();
}

int CDBconnection::setDataSource(const char* dataSource)
{
    return storeText(m_dataSource, dataSource);
}

int CDBconnection::setUser(const char* user)
{
    return storeText(m_user, user);
}

int CDBconnection::setPassword(const char* password)
{
    return storeText(m_password, password);
}

int CDBconnection::open()
{
    release();
    if (!m_dataSource || !m_user || !m_password)
        return -1;
    keepSettingsReaderLoaded();

    m_lastReturnCode = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_environment);
    if (!SQL_SUCCEEDED(m_lastReturnCode))
    {
        m_environment = SQL_NULL_HENV;
        return -1;
    }
    m_lastReturnCode =
        SQLSetEnvAttr(m_environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (SQL_SUCCEEDED(m_lastReturnCode))
        m_lastReturnCode = SQLAllocHandle(SQL_HANDLE_DBC, m_environment, &m_connection);
    if (SQL_SUCCEEDED(m_lastReturnCode))
    {
        SQLSetConnectAttr(m_connection, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        SQLSetConnectAttr(m_connection, SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
        m_lastReturnCode = SQLConnect(m_connection, sqlText(m_dataSource), SQL_NTS, sqlText(m_user), SQL_NTS,
                                      sqlText(m_password), SQL_NTS);
    }
    else
        m_connection = SQL_NULL_HDBC;

    if (SQL_SUCCEEDED(m_lastReturnCode))
    {
        m_connected = true;
        return 0;
    }
    release();
    return -1;
}

void CDBconnection::release()
{
    if (m_connection != SQL_NULL_HDBC && m_connected && !SQL_SUCCEEDED(SQLDisconnect(m_connection)))
    {
        // An open transaction keeps the driver from letting go.
        SQLEndTran(SQL_HANDLE_DBC, m_connection, SQL_COMMIT);
        SQLDisconnect(m_connection);
    }
    m_connected = false;
    Database::detail::freeHandles(m_connection, m_environment);
}
