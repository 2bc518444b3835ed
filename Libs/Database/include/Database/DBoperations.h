// The logger's layer over the suite database: a fixed set of statements through one ODBC connection.
// Every operation returns 0 or -1 (or the value said) and writes failures to a rotating dump file;
// nothing is thrown. Operations may come from more than one thread (the engine reads parameters while the
// message writer records); each runs whole under the object's lock.
#pragma once

#include "Database/DBconnection.h"
#include "Database/OdbcHandles.h"
#include "Database/SuiteLogin.h"
#include "Database/TokenValue.h"
#include "Database/TranslateChar.h"
#include "Platform/UniqueFile.h"

#include <sql.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The logger's parameter row of one user, in column order.
struct LoggingParameters
{
    int logging_enabled = 0;
    int logging_selected = 0;
    int dir_value_enabled = 0;
    std::string dir_value;  // at most 299 characters
    std::string file_value; // at most 299 characters
    int browse_enabled = 0;
    int browse_selected = 0;
    int line_interval_value_enabled = 0;
    std::string line_interval_value; // at most 9 characters
    int apply_enabled = 0;
    int apply_selected = 0;
};

class CDBoperations
{
public:
    static constexpr std::size_t maxNameLength = 31;
    static constexpr int repeatWindowMs = 10000;

    // Takes the name (cut to 31 characters) and builds the translator; does not connect.
    explicit CDBoperations(const char* name);
    virtual ~CDBoperations();
    CDBoperations(const CDBoperations&) = delete;
    CDBoperations& operator=(const CDBoperations&) = delete;

    // Connects to the data source and reads the message numbers of language 3. With an SQLite data
    // source it also opens the database file directly (messages on stderr); that step never fails connect.
    int connect(const char* dataSource, const char* user, const char* password,
                const char* newName = nullptr);

    // Version number and name (at most 199 characters) of the last row of zelt_version.
    int readVersion(int& versionNumber, std::string& versionName);
    // The process id; 0 (and success) when no process has that name.
    int readProcessId(const char* processName, int& processId);
    // The typed value of a token; -1 without a dump line when the token is unknown, 0 with the output
    // untouched when no value table holds its id.
    int readToken(const char* tokenName, TokenValue& value);
    // The integer value of a token; 0 when it is missing or not an integer.
    int readIntToken(const char* tokenName);
    int readLoggingParameters(const char* userName, LoggingParameters& parameters);

    // Appends the text to this object's dump file "c:\Temp\db_<name>_<n>.txt", chosen at the first call.
    void writeDebugText(const char* text);

    // Operator-message statements.
    // The stored text of a message, translated (language 3) or made UTF-8 (others), at most 399 bytes;
    // a fixed error text when there is no row; nothing when the statement could not be run.
    std::optional<std::string> readMessageText(int number, int language);
    int readMessageType(int number, int& type, int& typeLogging);
    // Records an arrival unless the repeat filter drops it; returns the recorded time of day in ms,
    // 0 when filtered out.
    int recordArrival(int dateYYYYMMDD, int timeHHMMSS, int milliseconds, int number, const std::string& text,
                      bool plain);
    // recordArrival without its INSERT: the repeat filter's answer, the arrival counted as recorded.
    int admitArrival(int dateYYYYMMDD, int timeHHMMSS, int milliseconds, int number, const std::string& text,
                     bool plain);
    int recordArrivalText(int dateYYYYMMDD, int millisecSinceMidnight, int number, int language,
                          const std::string& text);
    // The INSERT of an arrival alone, for another attempt after recordArrival's own failed.
    int insertArrival(int dateYYYYMMDD, int millisecSinceMidnight, int number);

    // True when the last statement failed because another connection holds the database (SQLite busy
    // or locked): worth another attempt later, unlike any other failure.
    bool lastFailureBusy() const { return m_lastFailureBusy; }
    // What the driver said of the last failure ("database or disk is full"), else its step prefix.
    const std::string& lastFailureText() const
    {
        return m_lastFailureMessage.empty() ? m_errorText : m_lastFailureMessage;
    }
    // Keeps other threads out across several operations and the lastFailureBusy() that follows them.
    std::unique_lock<std::recursive_mutex> exclusive()
    {
        return std::unique_lock<std::recursive_mutex>(m_mutex);
    }

    const std::string& name() const { return m_name; }
    // The data source of the last connect attempt that got that far, else the suite's.
    const std::string& dataSource() const { return m_dataSource; }
    // The login of that attempt as ODBC connection text, for a second connection to the same database.
    std::string odbcConnectionText() const
    {
        return Database::odbcConnectionText(m_dataSource, m_user, m_password);
    }
    bool isConnected() const { return m_connectionHandle != SQL_NULL_HDBC; }
    // The prefix of the last failure ("505 (-1): ", "505: (SQL_NO_DATA): ").
    const std::string& errorText() const { return m_errorText; }
    // The file the dump goes to, empty before the first failure or when none could be opened.
    const std::string& debugFilePath() const { return m_debugFilePath; }

    // Dump file name for an object name and number, as the suite writes it.
    static std::string debugFileName(const std::string& objectName, int number);

private:
    // A result column to bind; a failed bind is reported with its own step code.
    struct BoundColumn
    {
        SQLSMALLINT type;
        SQLPOINTER buffer;
        SQLLEN size;
        SQLLEN* indicator;
        int bindStep = 508;
    };

    int fail(int stepCode, SQLRETURN returnCode, const std::string& statement);
    // Reads the driver's diagnostics of the failed statement into the busy flag and the failure text.
    void diagnoseFailure();
    // Allocates the statement (506 on failure) and binds the columns in order; false after a failure
    // has been reported and the statement freed.
    bool prepareStatement(const std::string& statement, std::initializer_list<BoundColumn> columns);
    // Prepares and executes (505 on failure).
    bool executeStatement(const std::string& statement, std::initializer_list<BoundColumn> columns = {});
    // Fetches one row; no row is a failure too (505).
    bool fetchRow(const std::string& statement);
    // Fetches one row where none is an answer too; a failure is reported (505).
    enum class Fetched
    {
        Row,
        NoRow,
        Failed,
    };
    Fetched fetchOptionalRow(const std::string& statement);
    // Executes a statement of one unsigned column and fetches its row, as fetchOptionalRow.
    Fetched fetchOneUnsigned(const std::string& statement, SQLUINTEGER& value);
    void freeStatement();
    void openSqliteDirectly();
    void openDebugFile();

    mutable std::recursive_mutex m_mutex;
    std::unique_ptr<CDBconnection> m_connection;
    SQLHDBC m_connectionHandle = SQL_NULL_HDBC;
    Database::detail::OdbcStatement m_statement;
    SQLRETURN m_lastReturnCode = 0;
    std::string m_errorText;
    bool m_lastFailureBusy = false;
    std::string m_lastFailureMessage;

    // Arrival bookkeeping of the operator messages.
    std::map<int, int> m_lastArrival;
    std::map<int, std::string> m_lastText;
    int m_lastRecordedTime = -1;
    int m_repeatWindow = repeatWindowMs;

    std::unique_ptr<CTranslateChar> m_translator;
    std::string m_name;
    std::string m_dataSource = Database::kSuiteDataSource;
    std::string m_user = Database::kSuiteUser;
    std::string m_password = Database::kSuitePassword;
    Platform::UniqueFile m_debugFile;
    std::string m_debugFilePath;
    bool m_debugFileChosen = false;
};
