// The built logger left alone for months: close rereads, a slow disk, a termination during start-up.
#include "support/HoldingProcess.h"
#include "support/LoggerFixture.h"

#include <csignal>
#include <filesystem>
#include <regex>

using namespace VivozoTest;
using LoggerKeepsGoing = LoggerFixture;

TEST_F(LoggerKeepsGoing, TwoRereadsAMillisecondApartNeitherEndLoggingNorLoseADatagram)
{
    startLogger(kSelectedOff, {"-debug", "31"});
    for (const std::string dir : {"C:\\first", "C:\\later"}) // before the first datagram, then after 50
    {
        // A reread takes the database's folder and name: the start's, here.
        ASSERT_TRUE(m_suite.exec("UPDATE velmor_param SET file_value = 'x.rtcm', dir_value = '" + dir + "'"));
        command({"start", dir, "x.rtcm", "60", "3011"});
        std::size_t sent = 0;
        for (int i = 0; i < 100; ++i)
        {
            if (i == (dir == "C:\\first" ? 0 : 50))
            {
                m_logger->signal(SIGHUP);
                std::this_thread::sleep_for(1ms);
                m_logger->signal(SIGHUP);
                ASSERT_TRUE(i != 0 || m_logger->waitForOutput("S: DB_READ_COMPL", 10s, 2)); // 1: start-up's
            }
            ASSERT_TRUE(sendDatagram(kDataPort, std::to_string(i) + ";"));
            sent += std::to_string(i).size() + 1;
            std::this_thread::sleep_for(20ms); // 50 a second
        }
        expectStatus(kOn);
        const auto bytes = [&] // logged in the files of the folder, the last and those moved aside
        {
            std::uintmax_t total = 0;
            for (const auto& file : std::filesystem::directory_iterator(native(dir)))
                if (file.path().extension() == ".rtcm") // not the quality reports beside them
                    total += file.file_size();
            return total;
        };
        EXPECT_TRUE(eventually([&] { return bytes() == sent; }, 10s)) << dir << ' ' << bytes() << '/' << sent;
    }
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerKeepsGoing, ATerminationDuringAStartHeldByAnotherProcessEndsItWithinASecond)
{
    for (const bool tokenLock : {true, false})
    {
        HoldingProcess holder;
        ASSERT_TRUE(tokenLock
                        ? holder.holdTokenLock(TOKEN_LOCK_HOLDER, m_suite.tempDirectory() + "/token.lck")
                        : holder.holdDatabase(m_suite.databasePath()));
        LoggerProcess logger(m_suite.root(), {"-debug", "8"});
        ASSERT_TRUE(logger.waitForOutput("- noconsole", 10s));
        std::this_thread::sleep_for(500ms); // into the wait
        logger.signal(SIGTERM);
        EXPECT_EQ(logger.waitExit(1s), 0) << "token lock held: " << tokenLock << "\n" << logger.output();
    }
}

TEST_F(LoggerKeepsGoing, ADiskSlowerThanTheInputKeepsMemoryBoundedAndTheDropsAreCountedAndTold)
{
    constexpr int kLimitMb = 8;
    setToken("RTCM_QUEUE_LIMIT_MB", kLimitMb);
    // A sanitizer build keeps freed memory in quarantine, which is no queue of the logger's.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    const ScopedEnvironment noQuarantine("ASAN_OPTIONS",
                                         std::string(sanitizer ? sanitizer : "") + ":quarantine_size_mb=0");
    // Every write takes 2 ms, the log file's among them; no trace, whose lines would hold up the receiver.
    m_logger = std::make_unique<LoggerProcess>(
        m_suite.root(), std::vector<std::string>{"-debug", "0"}, Permissions::AsTheTest,
        std::vector<std::string>{"/usr/bin/strace", "-f", "--seccomp-bpf", "-qq", "-o", "/dev/null", "-e",
                                 "trace=write", "-e", "inject=write:delay_enter=2ms"});
    ASSERT_TRUE(status().waitFor(kSelectedOff, 30s)) << m_logger->output();
    const std::string tracer = std::to_string(m_logger->pid());
    const std::string logger = readFile("/proc/" + tracer + "/task/" + tracer + "/children");
    const auto megabytes = [&](const std::string& field) // of the logger's memory, from its status
    {
        const std::string memory = readFile("/proc/" + logger.substr(0, logger.find(' ')) + "/status");
        return std::stod(memory.substr(memory.find(field + ":") + field.size() + 1)) / 1024;
    };
    const double before = megabytes("VmRSS");
    command({"start", "C:\\slow", "slow.rtcm", "60", "3011"});
    // 65,507-byte datagrams at 2,000/s for 3 s: 390 MB against a disk that takes 30 MB/s.
    std::system(
        (std::string(std::getenv("VIVOZO_BINARY_DIR")) + "/Apps/loadgen/loadgen --port 3011 --size 65507 " +
         "--rate 2000 --count 6000 --settle-ms 500 --file '" + native("C:\\slow\\slow.rtcm") + "' >/dev/null")
            .c_str());
    EXPECT_LT(megabytes("VmHWM") - before, kLimitMb + 30.0) << "MB more at the peak than before the load";
    const std::string snapshot = m_suite.tempDirectory() + "/RORUVivozo.status.json";
    EXPECT_TRUE(eventually(
        [&] { return std::regex_search(readFile(snapshot), std::regex("\"queue_drops\": *[1-9]")); }, 5s))
        << readFile(snapshot);
    EXPECT_EQ(terminate(), 0);
    EXPECT_FALSE(m_suite.column("SELECT 1 FROM arrivedMessages WHERE number = 1429").empty());
}
