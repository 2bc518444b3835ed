// The built logger keeps every datagram it received and converts every file where it stays: beside a
// large leftover under a kill, and at termination after a burst; and every datagram reaches the disk
// within about a second.
#include "support/LoggerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using namespace VivozoTest;
using namespace std::chrono_literals;

namespace
{

// Holds no RTCM, so its scan reads all of it: seconds of work for the conversion.
void writeLargeLeftover(const std::string& path)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    const std::string block(1 << 20, '\0');
    for (int i = 0; i < 128; ++i)
        out << block;
}

unsigned long rcvbufErrors() // of this network namespace: datagrams dropped on a full receive buffer
{
    const std::string snmp = readFile("/proc/self/net/snmp");
    std::istringstream values(snmp.substr(snmp.find("Udp: ", snmp.find("Udp: ") + 1) + 5));
    unsigned long field[5] = {}; // InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors
    for (unsigned long& value : field)
        values >> value;
    return field[4];
}

class LoggerNothingLost : public LoggerFixture
{
};

} // namespace

TEST_F(LoggerNothingLost, TheScanOfALargeLeftoverHoldsUpNoDatagramAndEveryFileConvertsWhereItStays)
{
    const std::vector<std::string> frames = demoFrames();
    {
        SCOPED_TRACE("killed while the leftover is scanned");
        writeLargeLeftover(native("C:\\rtcm\\base.rtcm"));
        startLogger();
        command({"start", "C:\\rtcm", "base.rtcm", "60", "3011"});
        send(frames);
        std::this_thread::sleep_for(300ms);
        m_logger->signal(SIGKILL);
        m_logger->waitExit(10s);
        const std::string kept = readFile(native("C:\\rtcm\\base.rtcm"));
        EXPECT_TRUE(kept == joined(frames))
            << kept.size() << " of " << joined(frames).size() << " bytes kept";
    }

    SCOPED_TRACE("a file closed while the conversion is busy, then moved aside by the next open");
    fs::remove_all(native("C:\\rtcm"));
    fs::remove(m_suite.root() + "/makerinex.log");
    writeLargeLeftover(native("C:\\rtcm\\fixed.rtcm"));
    startLogger();
    command({"start", "C:\\rtcm", "fixed.rtcm", "60", "3011"});
    send(frames);
    ASSERT_TRUE(fileHolds(native("C:\\rtcm\\fixed.rtcm"), joined(frames)));
    command({"start", "C:\\rtcm", "fixed.rtcm", "60", "3011"});
    ASSERT_TRUE(m_logger->waitForOutput("Job: JobNewFile", 5s));
    send({"next file"});
    ASSERT_TRUE(fileHolds(native("C:\\rtcm\\fixed.rtcm"), "next file"));
    EXPECT_EQ(terminate(), 0) << m_logger->output();

    // The leftover and the last file do not convert; the one with the frames does, from its new name.
    const std::vector<std::string> calls = makeRinexCalls(m_suite.root());
    ASSERT_EQ(calls.size(), 1u) << m_logger->output();
    const std::string moved = calls[0].substr(0, calls[0].find(' '));
    EXPECT_TRUE(matchesDigits(moved, "C:\\rtcm\\fixed_############.rtcm") ||
                matchesDigits(moved, "C:\\rtcm\\fixed_############_#.rtcm"))
        << calls[0];
    EXPECT_EQ(readFile(native(moved)), joined(frames));
}

TEST_F(LoggerNothingLost, EveryDatagramReceivedBeforeTheTerminationIsWrittenAndNoSignalRunsAJobAfterIt)
{
    constexpr std::size_t kSize = 100;
    const auto numbered = [](unsigned sequence)
    {
        char head[16];
        std::snprintf(head, sizeof head, "%08u", sequence);
        std::string datagram(head);
        datagram.resize(kSize, static_cast<char>('a' + sequence % 26));
        return datagram;
    };
    const std::string path = native("C:\\rtcm\\burst.rtcm");
    startLogger();
    command({"start", "C:\\rtcm", "burst.rtcm", "60", "3011"});
    const std::size_t started = status().count();
    send({numbered(0)});
    ASSERT_TRUE(fileHolds(path, numbered(0)));
    ASSERT_TRUE(status().waitFor(kOn, 5s, started));

    const std::size_t before = status().count();
    m_logger->signal(SIGSTOP); // reading nothing, so the burst waits in its socket when the termination comes
    for (unsigned sequence = 1; sequence <= 3000; ++sequence)
        ASSERT_TRUE(sendDatagram(kDataPort, numbered(sequence)));
    ASSERT_TRUE(sendDatagram(5081, "$PZELT,24\n\r"));
    ASSERT_TRUE(sendDatagram(5081, "$PZELT,6\n\r"));
    m_logger->signal(SIGCONT);
    EXPECT_EQ(m_logger->waitExit(30s), 0);

    // Whole datagrams in the order sent; as many as the data receiver says it delivered.
    const std::string file = readFile(path);
    ASSERT_EQ(file.size() % kSize, 0u);
    const std::size_t written = file.size() / kSize;
    unsigned previous = 0;
    for (std::size_t i = 1; i < written; ++i)
    {
        const unsigned sequence = static_cast<unsigned>(std::stoul(file.substr(i * kSize, 8)));
        ASSERT_GT(sequence, previous);
        ASSERT_EQ(file.substr(i * kSize, kSize), numbered(sequence));
        previous = sequence;
    }
    const std::string output = m_logger->output();
    const std::string counted = "Data receiver stopped after ";
    const std::size_t at = output.find(counted);
    ASSERT_NE(at, std::string::npos) << output;
    EXPECT_EQ(std::stoul(output.substr(at + counted.size())), written);
    EXPECT_EQ(written, 3001u);
    std::cout << written << " datagrams of 3,001 delivered and written\n";

    // The 6 behind the 24 restarts nothing, and the OFF of the termination is the last sentence.
    const std::size_t terminated = output.find("Job: JobTerminate");
    ASSERT_NE(terminated, std::string::npos);
    EXPECT_EQ(output.find("Job: JobReadDB", terminated), std::string::npos);
    std::this_thread::sleep_for(200ms);
    const std::vector<std::string> answers = status().received();
    EXPECT_EQ(std::vector<std::string>(answers.begin() + static_cast<std::ptrdiff_t>(before), answers.end()),
              std::vector<std::string>{kOff});
}

// Terminated before the first datagram of a logging period: the waiting burst still opens the file.
TEST_F(LoggerNothingLost, ABurstWaitingWhenTheTerminationComesBeforeAnyFileIsOpenIsWrittenWhole)
{
    startLogger();
    command({"start", "C:\\rtcm", "late.rtcm", "60", "3011"});
    const std::size_t started = status().count();
    ASSERT_TRUE(sendDatagram(5081, "$PZELT,15\n\r"));
    ASSERT_TRUE(status().waitFor(kOn, 5s, started)); // the start has been taken up
    m_logger->signal(SIGSTOP);
    ASSERT_TRUE(sendDatagram(5081, "$PZELT,24\n\r"));
    std::string burst;
    for (char c = 'a'; c <= 'z'; ++c)
    {
        burst += std::string(100, c);
        ASSERT_TRUE(sendDatagram(kDataPort, burst.substr(burst.size() - 100)));
    }
    m_logger->signal(SIGCONT);
    EXPECT_EQ(m_logger->waitExit(30s), 0);
    EXPECT_EQ(readFile(native("C:\\rtcm\\late.rtcm")), burst);
}

TEST_F(LoggerNothingLost, DataReachesTheDiskAboutOnceASecondAndNeverWhereADatagramWaits)
{
    // strace -y names each descriptor's file; -f gives every line the thread that made the call.
    const std::string calls = m_suite.root() + "/syncs.txt";
    m_logger = std::make_unique<LoggerProcess>(
        m_suite.root(), std::vector<std::string>{"-debug", "8"}, Permissions::AsTheTest,
        std::vector<std::string>{"/usr/bin/strace", "-f", "-y", "-e", "trace=fdatasync,fsync,write", "-o",
                                 calls});
    ASSERT_TRUE(status().waitFor(kSelectedOff, 30s)) << m_logger->output();
    command({"start", "C:\\rtcm", "sync.rtcm", "60", "3011"});
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i)
    {
        send({"datagram;"});
        std::this_thread::sleep_for(20ms);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    command({"stop"});
    ASSERT_EQ(terminate(), 0);

    // Per thread: file syncs, directory syncs, datagram writes.
    std::map<std::string, std::array<int, 3>> threads;
    std::istringstream lines(readFile(calls));
    for (std::string line; std::getline(lines, line);)
    {
        const std::string thread = line.substr(0, line.find(' '));
        threads[thread][0] +=
            line.find("fdatasync(") != std::string::npos && line.find("/sync.rtcm>") != std::string::npos;
        threads[thread][1] +=
            line.find("fsync(") != std::string::npos && line.find("/c/rtcm>") != std::string::npos;
        threads[thread][2] += line.find("/sync.rtcm>, \"datagram;\"") != std::string::npos;
    }
    const auto writer =
        std::find_if(threads.begin(), threads.end(), [](const auto& t) { return t.second[2] > 0; });
    ASSERT_NE(writer, threads.end()) << readFile(calls);
    EXPECT_EQ(writer->second[0], 0) << "no sync on the datagram path, not even at the close";
    EXPECT_EQ(writer->second[1], 0);
    int syncs = 0, directorySyncs = 0;
    for (const auto& [thread, counts] : threads)
        if (thread != writer->first)
            syncs += counts[0], directorySyncs += counts[1];
    EXPECT_GE(syncs, static_cast<int>(seconds) - 1) << readFile(calls);
    EXPECT_LE(syncs, static_cast<int>(seconds) + 2) << "and one at the close" << readFile(calls);
    EXPECT_GE(directorySyncs, 1) << "the new file's name is on disk too";
    EXPECT_EQ(readFile(native("C:\\rtcm\\sync.rtcm")).size(), 200 * std::string("datagram;").size());
}

TEST_F(LoggerNothingLost, WhatTheKernelDropsInABurstIsCountedAsRcvbufErrorsRoseAndToldTheOperator)
{
    setToken("RUNT_PARAM_RTCM_MAX_WAIT_TIME", 1);
    startLogger(kSelectedOff, {"-debug", "8"});
    command({"start", "C:\\rtcm", "flood.rtcm", "60", "3011"});
    expectStatus(kOn);
    // Unpaced, one socket outruns the receiver by far; loadgen says what the file lacks.
    const unsigned long kBurst = 200000, before = rcvbufErrors();
    const std::string flood = native("C:\\rtcm\\flood.rtcm");
    const std::string loadgen = std::string(std::getenv("VIVOZO_BINARY_DIR")) + "/Apps/loadgen/loadgen";
    std::system((loadgen + " --port 3011 --rate 1e9 --settle-ms 1000 --file '" + flood + "'").c_str());
    const unsigned long dropped = rcvbufErrors() - before;
    ASSERT_GT(dropped, 0u) << "the burst did not overflow the receive buffer";
    EXPECT_TRUE(m_logger->waitForOutput(" in all):", 10s)) << "the no-data check reports the drops";
    EXPECT_EQ(terminate(), 0);
    EXPECT_FALSE(m_suite.column("SELECT 1 FROM arrivedMessages WHERE number = 1428").empty());
    const std::string output = m_logger->output();
    EXPECT_EQ(std::stoul(output.substr(output.rfind('(', output.rfind(" in all):")) + 1)), dropped) << output;
    EXPECT_EQ(readFile(flood).size(), (kBurst - dropped) * 200);
}
