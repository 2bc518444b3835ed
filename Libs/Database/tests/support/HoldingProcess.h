// A second process that holds a lock for a test: the token lock holder or the sqlite3 shell inside an
// exclusive transaction. It keeps the lock until its standard input is closed.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace VivozoTest
{

class HoldingProcess
{
public:
    HoldingProcess() = default;
    // Releases the lock and waits for the process.
    ~HoldingProcess();
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    // The token lock file's byte-range lock, taken by the TokenLockHolder program; true once it holds it.
    bool holdTokenLock(const std::string& holderProgram, const std::string& lockFile);
    // The SQLite database, held by the sqlite3 shell in an exclusive transaction; true once no other
    // connection can read it.
    bool holdDatabase(const std::string& databaseFile);

    // Closes the process's standard input, which ends it and its lock; waits for it.
    void release();

private:
    bool start(const std::vector<std::string>& command);

    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
};

} // namespace VivozoTest
