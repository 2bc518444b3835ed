// A throw-away Zelt suite for tests: a temporary ZELT_ROOT with the suite database, c:\temp and the
// unixODBC files, made by scripts/create-suite.sh and removed again when the object goes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace VivozoTest
{

class TestSuite
{
public:
    // Creates the suite and points ZELT_ROOT, ODBCSYSINI and ODBCINI of this process at it.
    // Failures are reported through ok() and error(), so a test can ASSERT on them.
    TestSuite();
    ~TestSuite();
    TestSuite(const TestSuite&) = delete;
    TestSuite& operator=(const TestSuite&) = delete;

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

    const std::string& root() const { return m_root; }
    // Native path of "C:\ProgramData\Hollvik\zelt\zelt.db".
    std::string databasePath() const;
    // Native path of "c:\temp".
    std::string tempDirectory() const;
    std::string odbcDirectory() const;

    // Direct SQLite access to the suite database, for preparing and checking rows.
    // Returns false (and sets error()) when the statement fails.
    bool exec(const std::string& sql);
    // First column of every row, as text (NULL gives an empty text).
    std::vector<std::string> column(const std::string& sql);
    // First column of the first row, or nothing when there is no row or the statement fails.
    std::optional<std::string> scalar(const std::string& sql);

    // Re-runs the creation script with --rebuild: a fresh database with the default content.
    bool rebuild();

private:
    bool runScript(bool rebuild);

    std::string m_root;
    std::string m_error;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_savedEnvironment;
};

// Sets an environment variable for the life of the object and restores the previous value after.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

} // namespace VivozoTest
