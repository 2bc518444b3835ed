// The token file's cross-process lock against a second process that holds it: tokens answer at once
// with what the last read held of them.
#include "Database/GetToken.h"

#include "GetTokenLogCapture.h"
#include "support/HoldingProcess.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

namespace
{

using VivozoTest::HoldingProcess;
using VivozoTest::LogCapture;
using VivozoTest::ScopedEnvironment;
using VivozoTest::TestSuite;
using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point began)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
}

// Another process's change of a token, written straight into the shared file.
void changeTokenInFile(const std::string& file, const std::string& name, const std::string& from,
                       const std::string& to)
{
    std::ifstream in(file);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t entry = text.find("\"Name\": \"" + name + "\"");
    const std::size_t value = text.find("\"Value\": \"" + from + "\"", entry);
    ASSERT_NE(value, std::string::npos) << text;
    text.replace(value, 10 + from.size(), "\"Value\": \"" + to);
    std::ofstream(file, std::ios::trunc) << text;
}

TEST(TokenLock, WhileAnotherProcessHoldsTheLockTokensKeepTheirLastValueOrTheirAbsence)
{
    ScopedEnvironment programData("ProgramData", std::nullopt);
    TestSuite suite;
    ASSERT_TRUE(suite.ok()) << suite.error();
    LogCapture log;
    CGetToken store;
    std::vector<std::string> reports;
    store.setReport([&](const std::string& line) { reports.push_back(line); });
    ASSERT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 3011);
    const std::string file = suite.scalar("select value from varchar_values where id = 3002").value_or("?");
    ASSERT_EQ(store.getTokValueStr("RTCM_FILE"), file);

    HoldingProcess holder;
    ASSERT_TRUE(holder.holdTokenLock(TOKEN_LOCK_HOLDER, suite.tempDirectory() + "/token.lck"));
    auto began = Clock::now();
    EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 3011);
    EXPECT_EQ(store.getTokValueStr("RTCM_FILE"), file);
    EXPECT_LT(msSince(began), 250) << "the first read gives up after about 80 ms, the second at once";
    EXPECT_EQ(reports,
              (std::vector<std::string>{
                  "\n\tWARNING: Token file locked by another process: RTCM_DATAPORT keeps the value "
                  "last read, 3011.",
                  "\n\tWARNING: Token file locked by another process: RTCM_FILE keeps the value last "
                  "read, '" +
                      file + "'."}));
    changeTokenInFile(suite.root() + "/c/ProgramData/Hollvik/zelt/ZeltTokens.json", "RTCM_DATAPORT", "3011",
                      "3999");

    // Absent from the last read: absent at once, as a known token keeps its value.
    began = Clock::now();
    EXPECT_EQ(store.getTokValueInt("NO_SUCH_TOKEN"), 0);
    EXPECT_LT(msSince(began), 250);
    EXPECT_EQ(reports.back(),
              "\n\tWARNING: Token file locked by another process: NO_SUCH_TOKEN keeps the value last read, "
              "absent.");

    // Released by the other side: the next read takes the file's value again.
    holder.release();
    EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 3999);
    EXPECT_FALSE(log->has(log4cplus::WARN_LOG_LEVEL, "CGetToken - Not found RTCM_DATAPORT"));
    EXPECT_EQ(reports.size(), 3u);
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
    HoldingProcess holder;
    ASSERT_TRUE(holder.holdTokenLock(TOKEN_LOCK_HOLDER, suite.tempDirectory() + "/token.lck"));
}

} // namespace
