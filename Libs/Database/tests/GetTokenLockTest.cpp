// The token file's cross-process lock against a second process that holds it.
#include "Database/GetToken.h"

#include "GetTokenLogCapture.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <chrono>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

using VivozoTest::LogCapture;
using VivozoTest::ScopedEnvironment;
using VivozoTest::TestSuite;

// The helper process: holds the lock from start() until release().
class LockHolder
{
public:
    ~LockHolder() { release(); }

    bool start(const std::string& lockFile)
    {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0)
            return false;
        if (::pipe(fromChild) != 0)
        {
            ::close(toChild[0]);
            ::close(toChild[1]);
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        std::string program = TOKEN_LOCK_HOLDER;
        std::string file = lockFile;
        char* argv[] = {program.data(), file.data(), nullptr};
        const bool spawned = ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(toChild[0]);
        ::close(fromChild[1]);
        m_stdin = toChild[1];
        if (!spawned)
        {
            m_pid = -1;
            ::close(fromChild[0]);
            return false;
        }
        char said[7] = {};
        const bool locked = ::read(fromChild[0], said, 6) == 6 && std::string(said) == "locked";
        ::close(fromChild[0]);
        return locked;
    }

    void release()
    {
        if (m_stdin >= 0)
            ::close(m_stdin);
        m_stdin = -1;
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
};

TEST(TokenLock, ReadGivesUpAfterAHundredTriesWhileAnotherProcessHoldsTheLock)
{
    ScopedEnvironment programData("ProgramData", std::nullopt);
    TestSuite suite;
    ASSERT_TRUE(suite.ok()) << suite.error();
    LogCapture log;
    CGetToken store;
    ASSERT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 3011);

    LockHolder holder;
    ASSERT_TRUE(holder.start(suite.tempDirectory() + "/token.lck"));
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 0);
    const auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_GE(waited, std::chrono::milliseconds(9900));
    EXPECT_LT(waited, std::chrono::seconds(30));
    EXPECT_TRUE(log->has(log4cplus::WARN_LOG_LEVEL, "File lock failed. Giving up after 100 tries"));
    int sleeps = 0;
    for (const auto& [level, text] : log->lines())
        sleeps += (text == "File lock failed. Sleep some");
    EXPECT_EQ(sleeps, 100);

    // Released by the other side: reads work again, and a failed read was not a missing token.
    holder.release();
    EXPECT_EQ(store.getTokValueStr("RTCM_FILE"),
              suite.scalar("select value from varchar_values where id = 3002").value_or("?"));
    EXPECT_FALSE(log->has(log4cplus::WARN_LOG_LEVEL, "CGetToken - Not found RTCM_DATAPORT"));
}

TEST(TokenLock, EachReadReleasesTheLockForOtherProcesses)
{
    ScopedEnvironment programData("ProgramData", std::nullopt);
    TestSuite suite;
    ASSERT_TRUE(suite.ok()) << suite.error();
    LogCapture log;
    CGetToken store;
    EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 3011);
    EXPECT_EQ(store.getTokValueInt("NO_SUCH_TOKEN"), 0);

    // The helper waits for the lock; it only gets it when no read is left holding it.
    LockHolder holder;
    ASSERT_TRUE(holder.start(suite.tempDirectory() + "/token.lck"));
}

} // namespace
