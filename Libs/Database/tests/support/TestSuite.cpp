// A throw-away Zelt suite for tests, built by the repository's own creation script.
#include "support/TestSuite.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace VivozoTest
{
namespace
{

std::optional<std::string> currentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void setValue(const std::string& name, const std::optional<std::string>& value)
{
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int liveSuites = 0;

struct SqliteCloser
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

} // namespace

TestSuite::TestSuite()
{
    const std::string base = currentValue("TMPDIR").value_or("/tmp");
    // The ODBC driver manager keeps the paths and contents of its ini files for the life of the process, so
    // one suite after another in the same process reuses the same root.
    const std::string processRoot = base + "/vivozo-suite-" + std::to_string(::getpid());
    if (liveSuites == 0 && ::mkdir(processRoot.c_str(), 0700) == 0)
        m_root = processRoot;
    else
    {
        std::string pattern = base + "/vivozo-suite-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) == nullptr)
        {
            m_error = "cannot create a temporary directory under " + base;
            return;
        }
        m_root = buffer.data();
    }
    ++liveSuites;
    if (!runScript(false))
        return;

    for (const char* name : {"ZELT_ROOT", "ODBCSYSINI", "ODBCINI"})
        m_savedEnvironment.emplace_back(name, currentValue(name));
    setValue("ZELT_ROOT", m_root);
    setValue("ODBCSYSINI", odbcDirectory());
    setValue("ODBCINI", odbcDirectory() + "/odbc.ini");
}

TestSuite::~TestSuite()
{
    for (const auto& [name, value] : m_savedEnvironment)
        setValue(name, value);
    if (m_root.empty())
        return;
    --liveSuites;
    if (currentValue("VIVOZO_KEEP_SUITE") == std::nullopt)
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
}

bool TestSuite::runScript(bool rebuild)
{
    const std::optional<std::string> source = currentValue("VIVOZO_SOURCE_DIR");
    if (!source)
    {
        m_error = "VIVOZO_SOURCE_DIR is not set";
        return false;
    }
    const std::string command = shellQuote(*source + "/scripts/create-suite.sh") + " " + shellQuote(m_root) +
                                (rebuild ? " --rebuild" : "") + " >/dev/null";
    const int status = std::system(command.c_str());
    if (status != 0)
    {
        m_error = "create-suite.sh failed with status " + std::to_string(status);
        return false;
    }
    return true;
}

bool TestSuite::rebuild()
{
    return runScript(true);
}

std::string TestSuite::databasePath() const
{
    return m_root + "/c/ProgramData/Hollvik/zelt/zelt.db";
}

std::string TestSuite::tempDirectory() const
{
    return m_root + "/c/temp";
}

std::string TestSuite::odbcDirectory() const
{
    return m_root + "/odbc";
}

bool TestSuite::exec(const std::string& sql)
{
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(databasePath().c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    if (opened != SQLITE_OK)
    {
        m_error = "cannot open " + databasePath();
        return false;
    }
    sqlite3_busy_timeout(db.get(), 10000);
    char* message = nullptr;
    if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
    {
        m_error = std::string("sqlite: ") + (message != nullptr ? message : "?") + " in: " + sql;
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::vector<std::string> TestSuite::column(const std::string& sql)
{
    std::vector<std::string> values;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(databasePath().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    if (opened != SQLITE_OK)
    {
        m_error = "cannot open " + databasePath();
        return values;
    }
    sqlite3_busy_timeout(db.get(), 10000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    {
        m_error = std::string("sqlite: ") + sqlite3_errmsg(db.get()) + " in: " + sql;
        return values;
    }
    while (sqlite3_step(statement) == SQLITE_ROW)
    {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        const int size = sqlite3_column_bytes(statement, 0);
        values.emplace_back(text != nullptr ? std::string(reinterpret_cast<const char*>(text), size) : "");
    }
    sqlite3_finalize(statement);
    return values;
}

std::optional<std::string> TestSuite::scalar(const std::string& sql)
{
    std::vector<std::string> values = column(sql);
    if (values.empty())
        return std::nullopt;
    return values.front();
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::optional<std::string>& value)
    : m_name(name), m_previous(currentValue(name))
{
    setValue(m_name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    setValue(m_name, m_previous);
}

} // namespace VivozoTest
