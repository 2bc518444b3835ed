// The database object: its connection, the failure dump file and the direct SQLite handle.
#include "Database/DBoperations.h"

#include "SqlText.h"

#include "Platform/NativePath.h"

#include <fmt/printf.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

using Database::detail::boundText;
using Database::detail::statementText;
using Database::detail::succeeded;

namespace
{

constexpr int dumpFileCount = 40;
constexpr const char* messageNumbersStatement = "SELECT number FROM messages WHERE lang=3 ORDER BY number";

std::string cutName(const char* name)
{
    std::string text = name != nullptr ? name : "";
    if (text.size() > CDBoperations::maxNameLength)
        text.resize(CDBoperations::maxNameLength);
    return text;
}

bool fileExists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

void removeFile(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace

CDBoperations::CDBoperations(const char* name)
    : m_translator(std::make_unique<CTranslateChar>()), m_name(cutName(name))
{
}

CDBoperations::~CDBoperations()
{
    freeStatement();
    m_connectionHandle = SQL_NULL_HDBC;
    m_connection.reset();
}

std::string CDBoperations::debugFileName(const std::string& objectName, int number)
{
    return fmt::sprintf("c:\\Temp\\db_%s_%d.txt", objectName, number);
}

int CDBoperations::connect(const char* dataSource, const char* user, const char* password,
                           const char* newName)
{
    const auto hold = exclusive();
    if (dataSource == nullptr || user == nullptr || password == nullptr)
        return -1;

    auto connection = std::make_unique<CDBconnection>();
    if (connection->setDataSource(dataSource) != 0 || connection->setUser(user) != 0 ||
        connection->setPassword(password) != 0)
        return -1;
    m_dataSource = dataSource;
    m_user = user;
    m_password = password;
    if (connection->open() != 0 || connection->connectionHandle() == SQL_NULL_HDBC)
        return -1;

    // A second connect replaces the first connection and everything that hangs on it.
    freeStatement();
    m_connection = std::move(connection);
    m_connectionHandle = m_connection->connectionHandle();

    if (newName != nullptr)
        m_name = cutName(newName);

    const std::string statement = messageNumbersStatement;
    SQLUINTEGER number = 0;
    SQLLEN indicator = 0;
    if (!executeStatement(statement, {{SQL_C_ULONG, &number, sizeof number, &indicator}}))
        return -1;
    while (succeeded(m_lastReturnCode = SQLFetch(m_statement.get())))
    {
        m_lastArrival[static_cast<int>(number)] = 0;
        m_lastText[static_cast<int>(number)] = " ";
    }
    freeStatement();

    m_repeatWindow = repeatWindowMs;
    openSqliteDirectly();
    return 0;
}

void CDBoperations::openSqliteDirectly()
{
    char databaseName[1000] = {};
    SQLSMALLINT length = 0;
    if (SQLGetInfo(m_connectionHandle, SQL_DATABASE_NAME, databaseName, sizeof databaseName, &length) !=
        SQL_SUCCESS)
        return;

    // Nothing queries the file this way: the check and its lines are what remains of it.
    sqlite3* opened = nullptr;
    const int result =
        sqlite3_open_v2(databaseName, &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> handle(opened, &sqlite3_close_v2);
    if (result != SQLITE_OK)
    {
        std::fprintf(stderr, "SQLite specific, %s: Can't open database %s: %s\n", m_name.c_str(),
                     databaseName, handle ? sqlite3_errmsg(handle.get()) : "out of memory");
        return;
    }
    std::fprintf(stderr, "SQLite specific, %s: Opened database %s successfully\n", m_name.c_str(),
                 databaseName);
    if (sqlite3_busy_timeout(handle.get(), 10000) == SQLITE_OK)
        std::fprintf(stderr, "SQLite specific, %s: Setting timeout %dms for database %s\n", m_name.c_str(),
                     10000, databaseName);
    else
        std::fprintf(stderr, "SQLite specific, %s: Can't set timeout for database %s: %s\n", m_name.c_str(),
                     databaseName, sqlite3_errmsg(handle.get()));
}

bool CDBoperations::prepareStatement(const std::string& statement, std::initializer_list<BoundColumn> columns)
{
    m_lastFailureBusy = false;
    if (!succeeded(m_lastReturnCode = m_statement.allocate(m_connectionHandle)))
    {
        fail(506, m_lastReturnCode, statement);
        return false;
    }
    SQLUSMALLINT number = 0;
    for (const BoundColumn& column : columns)
    {
        m_lastReturnCode = SQLBindCol(m_statement.get(), ++number, column.type, column.buffer, column.size,
                                      column.indicator);
        if (!succeeded(m_lastReturnCode))
        {
            fail(column.bindStep, m_lastReturnCode, statement);
            return false;
        }
    }
    return true;
}

bool CDBoperations::executeStatement(const std::string& statement, std::initializer_list<BoundColumn> columns)
{
    if (!prepareStatement(statement, columns))
        return false;
    m_lastReturnCode = SQLExecDirect(m_statement.get(), statementText(statement), SQL_NTS);
    if (succeeded(m_lastReturnCode))
        return true;
    fail(505, m_lastReturnCode, statement);
    return false;
}

CDBoperations::Fetched CDBoperations::fetchOptionalRow(const std::string& statement)
{
    m_lastReturnCode = SQLFetch(m_statement.get());
    if (m_lastReturnCode == SQL_NO_DATA)
        return Fetched::NoRow;
    if (succeeded(m_lastReturnCode))
        return Fetched::Row;
    fail(505, m_lastReturnCode, statement);
    return Fetched::Failed;
}

CDBoperations::Fetched CDBoperations::fetchOneUnsigned(const std::string& statement, SQLUINTEGER& value)
{
    SQLLEN indicator = 0;
    if (!executeStatement(statement, {{SQL_C_ULONG, &value, sizeof value, &indicator}}))
        return Fetched::Failed;
    return fetchOptionalRow(statement);
}

bool CDBoperations::fetchRow(const std::string& statement)
{
    const Fetched fetched = fetchOptionalRow(statement);
    if (fetched == Fetched::NoRow)
        fail(505, m_lastReturnCode, statement);
    return fetched == Fetched::Row;
}

void CDBoperations::freeStatement()
{
    m_statement.reset();
}

int CDBoperations::fail(int stepCode, SQLRETURN returnCode, const std::string& statement)
{
    m_lastReturnCode = returnCode;
    diagnoseFailure();
    if (returnCode == SQL_NO_DATA)
        m_errorText = fmt::sprintf("%d: (SQL_NO_DATA): ", stepCode);
    else
        m_errorText = fmt::sprintf("%d (%d): ", stepCode, static_cast<int>(returnCode));
    writeDebugText(m_errorText.c_str());
    if (!statement.empty())
        writeDebugText(statement.c_str());
    writeDebugText("\n");
    freeStatement();
    return -1;
}

void CDBoperations::diagnoseFailure()
{
    m_lastFailureBusy = false;
    m_lastFailureMessage.clear();
    const SQLSMALLINT handleType = m_statement ? SQL_HANDLE_STMT : SQL_HANDLE_DBC;
    const SQLHANDLE handle =
        m_statement ? static_cast<SQLHANDLE>(m_statement.get()) : static_cast<SQLHANDLE>(m_connectionHandle);
    if (handle == SQL_NULL_HANDLE)
        return;
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[512] = {};
    SQLSMALLINT length = 0;
    for (SQLSMALLINT record = 1; SQL_SUCCEEDED(
             SQLGetDiagRec(handleType, handle, record, state, &native, message, sizeof message, &length));
         ++record)
    {
        const std::string text(reinterpret_cast<const char*>(message));
        if (m_lastFailureMessage.empty())
            m_lastFailureMessage = text;
        // The SQLite driver passes SQLite's own codes on as the native error.
        if (native == SQLITE_BUSY || native == SQLITE_LOCKED ||
            text.find("database is locked") != std::string::npos ||
            text.find("database is busy") != std::string::npos)
            m_lastFailureBusy = true;
    }
}

void CDBoperations::openDebugFile()
{
    auto path = [this](int number) { return Platform::nativePath(debugFileName(m_name, number)); };
    for (int number = 0; number < dumpFileCount; ++number)
    {
        if (fileExists(path(number)))
            continue;
        m_debugFile.reset(std::fopen(path(number).c_str(), "w"));
        // A gap always follows the newest file, so the next process finds where to go on.
        removeFile(path((number + 1) % dumpFileCount));
        if (m_debugFile)
            m_debugFilePath = path(number);
        return;
    }
    removeFile(path(0));
    m_debugFile.reset(std::fopen(path(0).c_str(), "w"));
    removeFile(path(1));
    if (m_debugFile)
        m_debugFilePath = path(0);
}

void CDBoperations::writeDebugText(const char* text)
{
    const auto hold = exclusive();
    if (!m_debugFileChosen)
    {
        m_debugFileChosen = true;
        openDebugFile();
    }
    if (!m_debugFile || text == nullptr)
        return;
    std::fputs(text, m_debugFile.get());
    std::fflush(m_debugFile.get());
}
