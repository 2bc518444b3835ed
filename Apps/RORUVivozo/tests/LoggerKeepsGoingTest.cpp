// The built logger left alone for months: rereads close together, a disk slower than the input and a
// termination during start-up neither end its logging, nor grow it without bound, nor go unheard.
#include "support/HoldingProcess.h"
#include "support/LoggerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;
using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

class LoggerKeepsGoing : public LoggerFixture
{
protected:
    // Every ';'-ended datagram in the folder's log files, sorted.
    std::vector<std::string> logged(const std::string& folder) const
    {
        std::vector<std::string> datagrams;
        std::error_code absent;
        for (const fs::directory_entry& file : fs::directory_iterator(native(folder), absent))
        {
            const std::string content = readFile(file.path().string());
            for (std::size_t at = 0, end; (end = content.find(';', at)) != std::string::npos; at = end + 1)
                datagrams.push_back(content.substr(at, end + 1 - at));
        }
        std::sort(datagrams.begin(), datagrams.end());
        return datagrams;
    }
};

// The peak resident memory of a process, in MB, from /proc; 0 when gone.
double peakMegabytes(pid_t pid)
{
    const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0.0 : std::stod(status.substr(at + 6)) / 1024;
}

} // namespace

TEST_F(LoggerKeepsGoing, TwoRereadsAMillisecondApartNeitherEndLoggingNorLoseADatagram)
{
    startLogger(kSelectedOff, {"-debug", "31"});
    for (const bool beforeTheFirstDatagram : {true, false})
    {
        SCOPED_TRACE(beforeTheFirstDatagram ? "before the first datagram" : "while logging");
        // A reread takes the database's folder and name, the same as the start's here.
        const std::string folder = beforeTheFirstDatagram ? "C:\\first" : "C:\\later";
        ASSERT_TRUE(
            m_suite.exec("UPDATE velmor_param SET dir_value = '" + folder + "', file_value = 'reread.rtcm'"));
        command({"start", folder, "reread.rtcm", "60", "3011"});
        std::vector<std::string> sent;
        const auto sendAt50PerSecond = [&](int count)
        {
            for (int i = 0; i < count; ++i)
            {
                sent.push_back(std::to_string(sent.size()) + ";");
                ASSERT_TRUE(sendDatagram(kDataPort, sent.back()));
                std::this_thread::sleep_for(20ms);
            }
        };
        const std::size_t reads = m_logger->occurrences("S: DB_READ_COMPL");
        const auto hangUpTwice = [&]
        {
            m_logger->signal(SIGHUP);
            std::this_thread::sleep_for(1ms);
            m_logger->signal(SIGHUP);
        };
        if (beforeTheFirstDatagram)
        {
            hangUpTwice();
            ASSERT_TRUE(m_logger->waitForOutput("S: DB_READ_COMPL", 10s, reads + 1));
        }
        sendAt50PerSecond(50);
        if (!beforeTheFirstDatagram)
            hangUpTwice();
        sendAt50PerSecond(50);
        expectStatus(kOn);
        std::sort(sent.begin(), sent.end());
        EXPECT_TRUE(eventually([&] { return logged(folder) == sent; }, 10s))
            << logged(folder).size() << " of " << sent.size() << " logged\n"
            << m_logger->output();
    }
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerKeepsGoing, ATerminationDuringAStartHeldByAnotherProcessEndsItWithinASecond)
{
    for (const bool tokenLock : {true, false})
    {
        SCOPED_TRACE(tokenLock ? "token lock held" : "database held");
        HoldingProcess holder;
        ASSERT_TRUE(tokenLock
                        ? holder.holdTokenLock(TOKEN_LOCK_HOLDER, m_suite.tempDirectory() + "/token.lck")
                        : holder.holdDatabase(m_suite.databasePath()));
        LoggerProcess logger(m_suite.root(), {"-debug", "8"});
        ASSERT_TRUE(logger.waitForOutput("- noconsole", 10s));
        std::this_thread::sleep_for(500ms); // well into the wait
        const auto asked = std::chrono::steady_clock::now();
        logger.signal(SIGTERM);
        EXPECT_EQ(logger.waitExit(5s), 0) << logger.output();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s) << logger.output();
        EXPECT_TRUE(logger.waitForOutput("Cleaning up after termination by OP system.", 0s));
    }
}

TEST_F(LoggerKeepsGoing, ADiskSlowerThanTheInputKeepsMemoryBoundedAndTheDropsAreCountedAndTold)
{
    constexpr int kLimitMb = 8;
    setToken("RTCM_QUEUE_LIMIT_MB", kLimitMb);
    setToken("RUNT_PARAM_RTCM_MAX_WAIT_TIME", 1);
    // Every write of the logger takes 2 ms, the log file's among them; no trace, whose lines would take
    // as long and hold up the receiver.
    m_logger = std::make_unique<LoggerProcess>(
        m_suite.root(), std::vector<std::string>{"-debug", "0"}, Permissions::AsTheTest,
        std::vector<std::string>{"/usr/bin/strace", "-f", "--seccomp-bpf", "-qq", "-o", "/dev/null", "-e",
                                 "trace=write", "-e", "inject=write:delay_enter=2ms"});
    ASSERT_TRUE(status().waitFor(kSelectedOff, 30s)) << m_logger->output();
    const pid_t logger = std::stoi(readFile("/proc/" + std::to_string(m_logger->pid()) + "/task/" +
                                            std::to_string(m_logger->pid()) + "/children"));
    command({"start", "C:\\slow", "slow.rtcm", "60", "3011"});
    expectStatus(kOn);

    // 65,507-byte datagrams at 2,000/s for 3 s: 390 MB against a disk that takes 30 MB/s.
    const std::string loadgen = std::string(std::getenv("VIVOZO_BINARY_DIR")) + "/Apps/loadgen/loadgen";
    std::system((loadgen + " --port 3011 --size 65507 --rate 2000 --count 6000 --settle-ms 500 --file '" +
                 native("C:\\slow\\slow.rtcm") + "' > /dev/null")
                    .c_str());
    const double peak = peakMegabytes(logger);
    EXPECT_GT(peak, 0.0);
    EXPECT_LT(peak, kLimitMb + 30) << "MB resident at the most";
    const std::string snapshot = m_suite.tempDirectory() + "/RORUVivozo.status.json";
    const std::regex dropped("\"queue_drops\": *[1-9]");
    EXPECT_TRUE(eventually([&] { return std::regex_search(readFile(snapshot), dropped); }, 5s))
        << readFile(snapshot);
    EXPECT_EQ(terminate(), 0);
    EXPECT_FALSE(m_suite.column("SELECT 1 FROM arrivedMessages WHERE number = 1429").empty());
}
