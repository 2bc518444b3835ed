// The built logger left alone for months: rereads close together, a disk slower than the input and a
// termination during start-up neither end its logging, nor grow it without bound, nor go unheard.
#include "support/HoldingProcess.h"
#include "support/LoggerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

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
