// The operator-message poster against a real suite: texts, types, the repeat filter and arrival rows.
#include "Database/Messages.h"
#include "Database/DBoperations.h"

#include "support/HoldingProcess.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

using VivozoTest::TestSuite;

namespace
{

class CountingNotifier : public CMessageNotifier
{
public:
    void messageRecorded() override { ++recorded; }
    int recorded = 0;
};

class MessagesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(suite.ok()) << suite.error();
        testing::internal::CaptureStderr();
        ASSERT_EQ(db.connect("ZELTDB", "zeltuser", "vandel7"), 0);
        testing::internal::GetCapturedStderr();
        messages.setDatabase(&db);
        messages.attachNotifier(&notifier);
    }

    std::string count(const std::string& table, int number)
    {
        return suite.scalar("SELECT count(*) FROM " + table + " WHERE number = " + std::to_string(number))
            .value_or("?");
    }
    std::vector<std::string> texts()
    {
        return suite.column("SELECT mess FROM arrivedMessagesString ORDER BY rowid");
    }

    TestSuite suite;
    CDBoperations db{"Velmor"};
    CMessages messages;
    CountingNotifier notifier;
};

TEST_F(MessagesTest, PlainMessageIsRecordedOnceWithinTheRepeatWindow)
{
    messages.postMessage(1424);
    messages.postMessage(1424);
    messages.postMessage(1423);
    EXPECT_EQ(count("arrivedMessages", 1424), "1");
    EXPECT_EQ(count("arrivedMessages", 1423), "1");
    EXPECT_TRUE(texts().empty());
    EXPECT_EQ(notifier.recorded, 2);
}

TEST_F(MessagesTest, FormattedMessageIsRecordedAgainOnlyWhenItsTextChanges)
{
    messages.postFormattedMessage(1420, "D:\\a.rtcm");
    messages.postFormattedMessage(1420, "D:\\b.rtcm");
    messages.postFormattedMessage(1420, "D:\\b.rtcm");
    EXPECT_EQ(count("arrivedMessages", 1420), "2");
    EXPECT_EQ(texts(), (std::vector<std::string>{"RTCM logger: not able to open log file D:\\a.rtcm",
                                                 "RTCM logger: not able to open log file D:\\b.rtcm"}));
    EXPECT_EQ(suite.column("SELECT DISTINCT lang FROM arrivedMessagesString"), std::vector<std::string>{"3"});
    EXPECT_EQ(notifier.recorded, 2);

    messages.postFormattedMessage(1425, 50, 0.7, 0.3);
    EXPECT_EQ(texts().back(),
              "RTCM logger: rate of RTCM datagrams below 50% of expected. Expected/received (Hz): 0.70/0.30");
}

TEST_F(MessagesTest, ArrivalRowsMatchTheirTextRows)
{
    messages.postFormattedMessage(1425, 50, 0.7, 0.3);
    EXPECT_EQ(
        suite.scalar("SELECT count(*) FROM arrivedMessages a JOIN arrivedMessagesString s ON "
                     "a.dateYYYYMMDD = s.dateYYYYMMDD AND a.millisecSinceMidnight = s.millisecSinceMidnight"),
        "1");
}

// Filter and time rules, on fixed times: (number, HHMMSS, ms, text, plain) -> recorded time or 0.
TEST_F(MessagesTest, RepeatFilterAndSameMillisecondRule)
{
    struct Case
    {
        int number;
        int hhmmss;
        int ms;
        const char* text;
        bool plain;
        int expected;
    };
    const Case cases[] = {
        {1424, 120000, 500, " ", true, 43200500},  // first record
        {1423, 120000, 500, " ", true, 43200501},  // same millisecond as the last record of any message
        {1424, 120009, 0, " ", true, 0},           // plain repeat within 10 s
        {1424, 120010, 500, " ", true, 43210500},  // 10 s later
        {1420, 120010, 600, "a", false, 43210600}, // first text
        {1420, 120011, 0, "a", false, 0},          // same text within 10 s
        {1420, 120011, 100, "b", false, 43211100}, // new text
        {1420, 120012, 0, "a", false, 43212000},   // back to the first: differs from the last
        {1421, 235959, 999, " ", true, 86399999},  // last millisecond of the day
        {1422, 235959, 999, " ", true, 86399999},  // cannot move past midnight
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.number) + " at " + std::to_string(c.hhmmss));
        EXPECT_EQ(db.recordArrival(20261208, c.hhmmss, c.ms, c.number, c.text, c.plain), c.expected);
    }
    EXPECT_EQ(suite.scalar("SELECT count(*) FROM arrivedMessages"), "8");
    EXPECT_EQ(suite.column("SELECT millisecSinceMidnight FROM arrivedMessages WHERE number = 1423"),
              std::vector<std::string>{"43200501"});
}

TEST_F(MessagesTest, TwoRecordsInOneMillisecondGetDifferentTimes)
{
    const int first = db.recordArrival(20261208, 101010, 10, 1424, " ", true);
    const int second = db.recordArrival(20261208, 101010, 10, 1425, "x", false);
    EXPECT_EQ(second, first + 1);
}

TEST_F(MessagesTest, PathWithQuoteAndSemicolonIsRecordedUnchanged)
{
    const std::string path = "C:\\Temp\\it's; DROP TABLE arrivedMessages; --\\x'.rtcm";
    const std::string before = suite.scalar("SELECT count(*) FROM messages").value_or("?");
    messages.postFormattedMessage(1420, path);
    EXPECT_EQ(texts(), std::vector<std::string>{"RTCM logger: not able to open log file " + path});
    EXPECT_EQ(count("arrivedMessages", 1420), "1");
    EXPECT_EQ(suite.scalar("SELECT count(*) FROM messages"), before);
    EXPECT_FALSE(std::filesystem::exists(suite.tempDirectory() + "/db_Velmor_0.txt"));
}

// A stored text that does not fit its arguments is recorded as it is, never used to format.
TEST_F(MessagesTest, FormatNotFittingTheArgumentsIsRecordedAsItIs)
{
    ASSERT_TRUE(
        suite.exec("UPDATE messages SET mess = 'Rate %s of %d%n' WHERE number = 1425 AND lang = 3;"
                   "UPDATE messages SET mess = 'Cannot open %s %s %s' WHERE number = 1420 AND lang = 3;"));
    messages.postFormattedMessage(1425, 50, 0.7, 0.3);
    messages.postFormattedMessage(1420, "D:\\x.rtcm");
    EXPECT_EQ(texts(), (std::vector<std::string>{"Rate %s of %d%n", "Cannot open %s %s %s"}));
}

TEST_F(MessagesTest, OverLongTextsAreCut)
{
    ASSERT_TRUE(suite.exec("UPDATE messages SET mess = '" + std::string(500, 'm') +
                           "' WHERE number = 1421 AND lang = 3;"
                           "UPDATE messages SET mess = 'open %s' WHERE number = 1420 AND lang = 3;"));
    EXPECT_EQ(db.readMessageText(1421, 3), std::string(399, 'm'));
    messages.postFormattedMessage(1421);
    messages.postFormattedMessage(1420, std::string(600, 'p'));
    EXPECT_EQ(texts(), (std::vector<std::string>{std::string(398, 'm'), "open " + std::string(393, 'p')}));
}

TEST_F(MessagesTest, MissingTextGivesTheFallbackAndOtherLanguagesComeAsUtf8)
{
    EXPECT_EQ(db.readMessageText(9999, 3), "**** Error retrieving message no: 9999 from database ****\r\n");
    EXPECT_EQ(db.readMessageText(1420, 1), "RTCM-logger: kan ikke \xC3\xA5pne loggfil %s");
    messages.postFormattedMessage(9998);
    EXPECT_EQ(texts(),
              std::vector<std::string>{"**** Error retrieving message no: 9998 from database ****\r\n"});
}

TEST_F(MessagesTest, MessageTypeFollowsTheLoggingStatusToken)
{
    ASSERT_TRUE(suite.exec("UPDATE messages SET typeLogging = 5 WHERE number = 1425;"));
    ASSERT_EQ(messages.loadMessageTypes(), 0);
    EXPECT_EQ(messages.language(), 3);
    EXPECT_EQ(messages.messageType(1425), 2);
    EXPECT_EQ(messages.messageType(4711), 1); // unknown: type 1

    ASSERT_TRUE(suite.exec("UPDATE integer_values SET value = 1 WHERE id = (SELECT value_id FROM token_value "
                           "WHERE token = 'MAIN_W_LOGGING_STATUS_ON_OFF');"
                           "UPDATE messages SET typeLogging = 0 WHERE number = 1424;"));
    EXPECT_EQ(messages.messageType(1425), 5);
    EXPECT_EQ(messages.messageType(1424), 3); // cached before the change
    EXPECT_EQ(messages.messageType(4711), 1);
}

TEST_F(MessagesTest, LoadingTypesWithoutADataSourceReportsOnStderr)
{
    CDBoperations unconnected("Unknown");
    CMessages other;
    other.setDatabase(&unconnected);
    // The driver manager keeps its ini files for a while, so an unknown name stands for a missing suite.
    EXPECT_EQ(unconnected.connect("NOSUCHDSN", "zeltuser", "vandel7"), -1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(other.loadMessageTypes(), -1);
    const std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 4) << lines;

    // Posting without a connection still returns; the failures go to the dump file.
    other.postMessage(1424);
    other.postFormattedMessage(1420, "x");
    EXPECT_TRUE(std::filesystem::exists(suite.tempDirectory() + "/db_Unknown_0.txt"));
    EXPECT_EQ(suite.scalar("SELECT count(*) FROM arrivedMessages"), "0");
}

// Another process holds the database while messages are posted: the posts return at once, the writer
// waits and then records each with the time it was posted; past the queue's bound the oldest is dropped
// and reported, in the trace and on standard error.
TEST_F(MessagesTest, WithItsWriterAPostNeverWaitsForABusyDatabaseAndIsRecordedOnceItIsFree)
{
    std::mutex mutex;
    std::vector<std::string> reports;
    messages.setReport(
        [&](const std::string& line)
        {
            const std::lock_guard<std::mutex> guard(mutex);
            reports.push_back(line);
        });
    messages.startWriter();
    VivozoTest::HoldingProcess holder;
    ASSERT_TRUE(holder.holdDatabase(suite.databasePath()));

    const auto began = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    messages.postMessage(1424);
    // Let the writer take it: it waits for the database with it in its hands, and records it after all.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    messages.postMessage(1424); // the oldest in the queue, dropped when it overflows
    // Its text has not been read yet: the read waits for the database as well.
    messages.postFormattedMessage(1420, "D:\\during.rtcm");
    for (std::size_t i = 1; i < CMessages::maxPending; ++i)
        messages.postMessage(1424);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
    const std::time_t released = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&released, &utc);
    const long long releasedMs = ((utc.tm_hour * 60 + utc.tm_min) * 60 + utc.tm_sec) * 1000LL;
    holder.release();
    messages.stopWriter(std::chrono::seconds(30));

    EXPECT_EQ(texts(), std::vector<std::string>{"RTCM logger: not able to open log file D:\\during.rtcm"});
    EXPECT_EQ(count("arrivedMessages", 1420), "1");
    EXPECT_LE(std::stoll(suite.scalar("SELECT millisecSinceMidnight FROM arrivedMessages WHERE number = 1420")
                             .value_or("-1")),
              releasedMs + 999)
        << "recorded with the time of its post";
    EXPECT_EQ(count("arrivedMessages", 1424), "1"); // the rest are repeats within 10 s
    const std::string dropped =
        " UTC dropped: 1000 messages wait for the database, and this was the oldest (1 "
        "dropped in all).";
    ASSERT_EQ(reports.size(), 1u) << testing::PrintToString(reports);
    EXPECT_TRUE(reports[0].starts_with("\n\tERROR: Operator message 1424 of ") &&
                reports[0].ends_with(dropped))
        << reports[0];
    EXPECT_NE(testing::internal::GetCapturedStderr().find(reports[0].substr(9)), std::string::npos);
}

TEST_F(MessagesTest, NothingIsRecordedWithoutADatabase)
{
    CMessages alone;
    alone.attachNotifier(&notifier);
    alone.postMessage(1424);
    alone.postFormattedMessage(1420, "x");
    EXPECT_EQ(alone.messageType(1424), 1);
    EXPECT_EQ(notifier.recorded, 0);
}

} // namespace
