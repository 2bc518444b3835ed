// The built logger and the life of its files where the disk or the process fails: a sync that takes
// seconds or fails, a kill -9 with a file open, a name at the file system's limit.
#include "support/LoggerFixture.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;
using namespace VivozoTest;
using LoggerFileLife = LoggerFixture;

namespace
{

using Clock = std::chrono::steady_clock;
// 3 s with the sync on the engine; under 100 ms on a quiet machine, the rest is room for a busy one.
constexpr auto kBound = 1000ms;

std::vector<std::string> straced(const std::vector<std::string>& filter)
{
    std::vector<std::string> wrapper{"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null", "-e",
                                     "trace=fdatasync"};
    wrapper.insert(wrapper.end(), filter.begin(), filter.end());
    return wrapper;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(LoggerFileLife, AFileChangeWhileEverySyncTakesThreeSecondsHoldsUpNeitherDatagramsNorStatus)
{
    m_logger = std::make_unique<LoggerProcess>(m_suite.root(), std::vector<std::string>{"-debug", "8"},
                                               Permissions::AsTheTest,
                                               straced({"-e", "inject=fdatasync:delay_enter=3s"}));
    ASSERT_TRUE(status().waitFor(kSelectedOff, 30s)) << m_logger->output();
    for (const std::string name : {"first.rtcm", "second.rtcm", "third.rtcm"})
    {
        command({"start", "C:\\rtcm", name, "60", "3011"}); // closes the file before
        const std::size_t from = status().count();
        const auto sent = Clock::now();
        ASSERT_TRUE(sendDatagram(5081, "$PZELT,15\n\r"));
        ASSERT_TRUE(sendDatagram(kDataPort, name));
        EXPECT_TRUE(status().waitFor(kOn, kBound, from)) << name;
        EXPECT_TRUE(fileHolds(native("C:\\rtcm\\" + name), name, kBound)) << name;
        EXPECT_LT(Clock::now() - sent, kBound) << name;
    }
    EXPECT_EQ(terminate(), 0);
}

TEST_F(LoggerFileLife, AFailedSyncIsReportedLikeAFailedWrite)
{
    m_logger = std::make_unique<LoggerProcess>(
        m_suite.root(), std::vector<std::string>{"-debug", "8"}, Permissions::AsTheTest,
        straced({"-P", native("C:\\rtcm\\eio.rtcm"), "-e", "inject=fdatasync:error=EIO"}));
    ASSERT_TRUE(status().waitFor(kSelectedOff, 30s)) << m_logger->output();
    command({"start", "C:\\rtcm", "eio.rtcm", "60", "3011"});
    send({"lost?"});
    EXPECT_TRUE(m_logger->waitForOutput("ERROR: 5. Not able to force datagram log file to disk, what was "
                                        "written may be lost:\n\t       C:\\rtcm\\eio.rtcm.",
                                        10s));
    const std::string snapshot = native("C:\\temp\\RORUVivozo.status.json");
    EXPECT_TRUE(eventually(
        [&]
        {
            const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(readFile(snapshot)));
            return document.object()["since_start"].toObject()["sync_failures"].toInt() > 0;
        },
        5s))
        << readFile(snapshot);
    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(m_suite.column("SELECT s.mess FROM arrivedMessagesString s JOIN arrivedMessages a ON "
                             "a.millisecSinceMidnight = s.millisecSinceMidnight WHERE a.number = 1426"),
              std::vector<std::string>{"RTCM logger: not able to write to log file C:\\rtcm\\eio.rtcm"});
}

TEST_F(LoggerFileLife, AFileLeftOpenByAKilledRunIsConvertedOnceByTheNextAndNamed)
{
    startLogger();
    command({"start", "C:\\rtcm", "base__TOKH__TOKN__TOKS_.rtcm", "60", "3011"});
    const std::string frames = joined(demoFrames());
    send(demoFrames());
    ASSERT_TRUE(eventually([&] { return filesIn(native("C:\\rtcm")).size() == 1; }, 5s));
    const std::string name = filesIn(native("C:\\rtcm")).front();
    ASSERT_TRUE(fileHolds(native("C:\\rtcm\\" + name), frames));
    ASSERT_TRUE(eventually([&] { return fs::exists(native("C:\\temp\\RORUVIVOZO.open-log-file.txt")); }, 5s));
    m_logger->signal(SIGKILL);
    ASSERT_EQ(m_logger->waitExit(10s), -1000 - SIGKILL);

    // The next run opens that very name again: the file from before is still converted once.
    startLogger();
    EXPECT_TRUE(m_logger->waitForOutput("WARNING: Datagram log file left open by a run that ended without "
                                        "closing it:\n\t         C:\\rtcm\\" +
                                            name + ".",
                                        1s));
    command({"start", "C:\\rtcm", name, "60", "3011"});
    send(demoFrames());
    EXPECT_TRUE(fileHolds(native("C:\\rtcm\\" + name), frames));
    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(filesIn(native("C:\\rtcm")).size(), 2u);
    EXPECT_EQ(makeRinexCalls(m_suite.root()).size(), 2u) << m_logger->output();
    EXPECT_FALSE(fs::exists(native("C:\\temp\\RORUVIVOZO.open-log-file.txt")));
}

TEST_F(LoggerFileLife, ANameAtTheFileSystemsLimitStartedTwiceKeepsBothFiles)
{
    startLogger();
    const std::string name = std::string(245, 'n') + ".rtcm";
    for (const std::string round : {"first", "second"})
    {
        command({"start", "C:\\long", name, "60", "3011"});
        send({round});
        EXPECT_TRUE(fileHolds(native("C:\\long\\" + name), round)) << m_logger->output();
    }
    EXPECT_EQ(terminate(), 0);
    const std::vector<std::string> names = filesIn(native("C:\\long"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names.front().size(), 255u);
    EXPECT_EQ(readFile(native("C:\\long\\" + names.front())), "first");
}
