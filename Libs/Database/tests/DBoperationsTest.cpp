// The database layer against a real suite behind unixODBC and the SQLite ODBC driver.
#include "Database/DBoperations.h"

#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using VivozoTest::ScopedEnvironment;
using VivozoTest::TestSuite;

namespace
{

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class DBoperationsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(suite.ok()) << suite.error(); }

    std::string dumpPath(const std::string& name, int number) const
    {
        return suite.tempDirectory() + "/db_" + name + "_" + std::to_string(number) + ".txt";
    }
    std::string dump(const std::string& name = "Velmor") const { return readFile(dumpPath(name, 0)); }
    bool dumpExists(const std::string& name = "Velmor") const
    {
        return std::filesystem::exists(dumpPath(name, 0));
    }

    // Connected object; the SQLite side step writes its lines to stderr, which the tests do not need.
    std::unique_ptr<CDBoperations> connected(const char* name = "Velmor")
    {
        auto db = std::make_unique<CDBoperations>(name);
        testing::internal::CaptureStderr();
        const int result = db->connect("ZELTDB", "zeltuser", "vandel7");
        lastStderr = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 0);
        return db;
    }

    TestSuite suite;
    std::string lastStderr;
};

TEST_F(DBoperationsTest, ConnectReadsTheDefaultSuiteAndOpensItsFileDirectly)
{
    auto db = connected();
    EXPECT_TRUE(db->isConnected());
    const std::string file = suite.databasePath();
    EXPECT_NE(lastStderr.find("SQLite specific, Velmor: Opened database " + file + " successfully\n"),
              std::string::npos)
        << lastStderr;
    EXPECT_NE(lastStderr.find("SQLite specific, Velmor: Setting timeout 10000ms for database " + file + "\n"),
              std::string::npos);

    int version = -1;
    std::string name;
    EXPECT_EQ(db->readVersion(version, name), 0);
    EXPECT_EQ(version, 7);
    EXPECT_EQ(name, "Zelt 7.2 survey suite");

    int pid = -5;
    EXPECT_EQ(db->readProcessId("RORUVIVOZO", pid), 0);
    EXPECT_EQ(pid, 3);

    LoggingParameters parameters;
    ASSERT_EQ(db->readLoggingParameters("HV user", parameters), 0);
    EXPECT_EQ(parameters.logging_enabled, 1);
    EXPECT_EQ(parameters.logging_selected, 0);
    EXPECT_EQ(parameters.dir_value, "C:\\Temp\\rtcm\\_TOKY__TOKM__TOKD_");
    EXPECT_EQ(parameters.file_value, "rtcm__TOKY__TOKM__TOKD__TOKH__TOKN_.rtcm");
    EXPECT_EQ(parameters.line_interval_value, "60");
    EXPECT_EQ(parameters.apply_selected, 0);
    EXPECT_FALSE(dumpExists());
}

TEST_F(DBoperationsTest, ConnectRenamesTheObjectAndCutsLongNames)
{
    CDBoperations longName("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    EXPECT_EQ(longName.name(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
    testing::internal::CaptureStderr();
    EXPECT_EQ(longName.connect("ZELTDB", "zeltuser", "vandel7", "Renamed"), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(longName.name(), "Renamed");
}

TEST_F(DBoperationsTest, TokensReadWithTheirKindWhateverTheLetterCase)
{
    ASSERT_TRUE(suite.exec("INSERT INTO float_values VALUES (1500, 0.25);"
                           "INSERT INTO token_value VALUES ('TEST_FLOAT', 1500, NULL);"));
    auto db = connected();

    TokenValue value;
    ASSERT_EQ(db->readToken("rtcm_dataport", value), 0);
    EXPECT_EQ(value.kind, TokenKind::Integer);
    EXPECT_EQ(value.intValue, 3011);

    ASSERT_EQ(db->readToken("RTCM_FILE", value), 0);
    EXPECT_EQ(value.kind, TokenKind::Text);
    EXPECT_EQ(value.textValue, "rtcm__TOKY__TOKM__TOKD__TOKH__TOKN_.rtcm");

    ASSERT_EQ(db->readToken("Test_Float", value), 0);
    EXPECT_EQ(value.kind, TokenKind::Float);
    EXPECT_DOUBLE_EQ(value.floatValue, 0.25);

    EXPECT_EQ(db->readIntToken("RUNT_PARAM_RTCM_INTERVAL_TIME"), 60);
    EXPECT_EQ(db->readIntToken("RTCM_CORR_DIR"), 0); // text, not integer
    EXPECT_EQ(db->readIntToken("NO_SUCH_TOKEN"), 0);
    EXPECT_FALSE(dumpExists());
}

TEST_F(DBoperationsTest, UnknownNamesAreNotFailures)
{
    ASSERT_TRUE(suite.exec("INSERT INTO token_value VALUES ('ORPHAN', 9999, NULL);"));
    auto db = connected();

    int pid = 42;
    EXPECT_EQ(db->readProcessId("NOBODY", pid), 0);
    EXPECT_EQ(pid, 0);

    TokenValue value;
    value.kind = TokenKind::Text;
    EXPECT_EQ(db->readToken("NO_SUCH_TOKEN", value), -1);
    EXPECT_EQ(db->readToken("ORPHAN", value), 0);
    EXPECT_EQ(value.kind, TokenKind::Text); // untouched
    EXPECT_FALSE(dumpExists());
}

TEST_F(DBoperationsTest, UserWithoutParameterRowWritesTheNoDataLine)
{
    ASSERT_TRUE(suite.exec("INSERT INTO users VALUES (2, 'Guest');"));
    auto db = connected();
    LoggingParameters parameters;
    parameters.dir_value = "kept";
    EXPECT_EQ(db->readLoggingParameters("Guest", parameters), -1);
    EXPECT_EQ(parameters.dir_value, "kept");
    EXPECT_EQ(dump(),
              "505: (SQL_NO_DATA): SELECT logging_enabled, logging_selected, dir_value_enabled, dir_value, "
              "file_value, browse_enabled, browse_selected, line_interval_value_enabled, "
              "line_interval_value, apply_enabled, apply_selected FROM velmor_param, users WHERE "
              "users.name = 'Guest' AND users.id = velmor_param.id \n");
}

TEST_F(DBoperationsTest, MissingTableFailsTheExecuteStep)
{
    ASSERT_TRUE(suite.exec("DROP TABLE process;"));
    auto db = connected();
    int pid = 42;
    EXPECT_EQ(db->readProcessId("RORUVIVOZO", pid), -1);
    EXPECT_EQ(pid, 42);
    EXPECT_EQ(dump(), "505 (-1): select pid from process where processname = 'RORUVIVOZO'\n");
}

TEST_F(DBoperationsTest, MissingMessagesTableFailsConnectButKeepsTheConnection)
{
    ASSERT_TRUE(suite.exec("DROP TABLE messages;"));
    CDBoperations db("Velmor");
    EXPECT_EQ(db.connect("ZELTDB", "zeltuser", "vandel7"), -1);
    EXPECT_EQ(dump(), "505 (-1): SELECT number FROM messages WHERE lang=3 ORDER BY number\n");
    int version = -1;
    std::string name;
    EXPECT_EQ(db.readVersion(version, name), 0);
    EXPECT_EQ(version, 7);
}

// The operator-message statements report their failing step as the others do: 506 without a connection,
// 505 when the table is gone; an arrival that could not be stored still gives its time.
TEST_F(DBoperationsTest, MessageStatementsWriteTheirStepLines)
{
    struct StepCase
    {
        const char* name;
        bool connect;
        const char* prefix;
    };
    for (const StepCase& step :
         {StepCase{"Unconnected", false, "506 (-2): "}, StepCase{"NoTables", true, "505 (-1): "}})
    {
        SCOPED_TRACE(step.name);
        auto db = step.connect ? connected(step.name) : std::make_unique<CDBoperations>(step.name);
        if (step.connect)
        {
            for (const char* table : {"messages", "arrivedMessages", "arrivedMessagesString"})
                ASSERT_TRUE(suite.exec(std::string("DROP TABLE ") + table + ";"));
        }
        int type = 7;
        int typeLogging = 7;
        EXPECT_FALSE(db->readMessageText(5, 1).has_value());
        EXPECT_EQ(db->readMessageType(5, type, typeLogging), -1);
        EXPECT_EQ(type, 7);
        EXPECT_EQ(db->recordArrival(20261209, 120000, 0, 5, " ", true), 43200000);
        EXPECT_EQ(db->recordArrivalText(20261209, 43200000, 5, 1, "it's"), -1);
        const std::string prefix = step.prefix;
        EXPECT_EQ(
            dump(step.name),
            prefix + "select mess from messages where lang = 1 and number = 5\n" + prefix +
                "select type,typeLogging from messages where number = 5\n" + prefix +
                "INSERT INTO arrivedMessages(dateYYYYMMDD,millisecSinceMidnight,number) values "
                "(20261209,43200000,5)\n" +
                prefix +
                "INSERT INTO arrivedMessagesString(dateYYYYMMDD,millisecSinceMidnight,lang,mess) values "
                "(20261209,43200000,1,'it''s')\n");
    }
}

TEST_F(DBoperationsTest, ConnectWithoutPasswordTouchesNothing)
{
    CDBoperations db("Velmor");
    EXPECT_EQ(db.connect("ZELTDB", "zeltuser", nullptr), -1);
    EXPECT_EQ(db.connect(nullptr, "zeltuser", "vandel7"), -1);
    EXPECT_FALSE(db.isConnected());
    EXPECT_FALSE(dumpExists());
}

// Without a data source, a database file or a connection every operation fails with its line, and the
// version stays as preset.
TEST_F(DBoperationsTest, EveryOperationFailsCleanlyWithoutADatabase)
{
    const std::string missing = suite.root() + "/missing.ini";
    for (const char* mode : {"no data source", "no database file"})
    {
        SCOPED_TRACE(mode);
        std::filesystem::remove_all(suite.tempDirectory());
        std::filesystem::create_directories(suite.tempDirectory());
        std::unique_ptr<ScopedEnvironment> environment;
        if (std::string(mode) == "no data source")
            environment = std::make_unique<ScopedEnvironment>("ODBCINI", missing);
        else
            std::filesystem::rename(suite.databasePath(), suite.databasePath() + ".away");

        CDBoperations db("Velmor");
        EXPECT_EQ(
            db.connect(std::string(mode) == "no data source" ? "NOSUCHDSN" : "ZELTDB", "zeltuser", "vandel7"),
            -1);
        EXPECT_FALSE(db.isConnected());
        if (std::string(mode) == "no database file")
        {
            EXPECT_FALSE(std::filesystem::exists(suite.databasePath()))
                << "the driver must not create the file";
        }

        int version = -1;
        std::string name;
        EXPECT_EQ(db.readVersion(version, name), -1);
        EXPECT_EQ(version, -1);
        EXPECT_EQ(name, "");
        EXPECT_FALSE(dumpExists()) << "readVersion writes nothing";

        int pid = 0;
        TokenValue value;
        LoggingParameters parameters;
        EXPECT_EQ(db.readProcessId("RORUVIVOZO", pid), -1);
        EXPECT_EQ(db.readToken("RTCM_DATAPORT", value), -1);
        EXPECT_EQ(db.readIntToken("RTCM_DATAPORT"), 0);
        EXPECT_EQ(db.readLoggingParameters("HV user", parameters), -1);
        const std::string lines = dump();
        EXPECT_EQ(
            lines.rfind("506 (-2): select pid from process where processname = 'RORUVIVOZO'\n"
                        "506 (-2): select value_id from token_value where token=upper('RTCM_DATAPORT')\n"
                        "506 (-2): select value_id from token_value where token=upper('RTCM_DATAPORT')\n"
                        "506 (-2): SELECT logging_enabled",
                        0),
            0u)
            << lines;

        if (std::string(mode) == "no database file")
            std::filesystem::rename(suite.databasePath() + ".away", suite.databasePath());
    }
}

TEST_F(DBoperationsTest, DumpFileFirstFailureTakesNumberZeroAndClearsTheNext)
{
    std::ofstream(dumpPath("Velmor", 1)) << "old";
    std::ofstream(dumpPath("Other", 0)) << "other object";
    CDBoperations db("Velmor");
    db.writeDebugText("first");
    db.writeDebugText(" second");
    EXPECT_EQ(readFile(dumpPath("Velmor", 0)), "first second");
    EXPECT_FALSE(std::filesystem::exists(dumpPath("Velmor", 1)));
    EXPECT_EQ(readFile(dumpPath("Other", 0)), "other object");
}

TEST_F(DBoperationsTest, DumpFileGoesOnAfterTheNewestAndWrapsAround)
{
    for (int n = 0; n < 5; ++n)
        std::ofstream(dumpPath("Velmor", n)) << "old " << n;
    {
        CDBoperations db("Velmor");
        db.writeDebugText("new");
    }
    EXPECT_EQ(readFile(dumpPath("Velmor", 5)), "new");
    EXPECT_FALSE(std::filesystem::exists(dumpPath("Velmor", 6)));

    for (int n = 0; n < 40; ++n)
        std::ofstream(dumpPath("Velmor", n)) << "old " << n;
    {
        CDBoperations db("Velmor");
        db.writeDebugText("wrapped");
    }
    EXPECT_EQ(readFile(dumpPath("Velmor", 0)), "wrapped");
    EXPECT_FALSE(std::filesystem::exists(dumpPath("Velmor", 1)));
    EXPECT_EQ(readFile(dumpPath("Velmor", 39)), "old 39");

    // The last slot's gap is number 0.
    std::filesystem::remove(dumpPath("Velmor", 39));
    std::ofstream(dumpPath("Velmor", 1)) << "old 1";
    {
        CDBoperations db("Velmor");
        db.writeDebugText("last");
    }
    EXPECT_EQ(readFile(dumpPath("Velmor", 39)), "last");
    EXPECT_FALSE(std::filesystem::exists(dumpPath("Velmor", 0)));
}

TEST_F(DBoperationsTest, QuotesInTextArgumentsStayInsideTheLiteral)
{
    ASSERT_TRUE(suite.exec("INSERT INTO process VALUES (9, 'O''Brien');"
                           "INSERT INTO users VALUES (7, 'it''s; me');"
                           "INSERT INTO velmor_param (id, dir_value) VALUES (7, 'D:\\quoted');"));
    auto db = connected();
    int pid = 0;
    EXPECT_EQ(db->readProcessId("O'Brien", pid), 0);
    EXPECT_EQ(pid, 9);
    EXPECT_EQ(db->readProcessId("x'; DROP TABLE process; --", pid), 0);
    EXPECT_EQ(pid, 0);
    EXPECT_EQ(db->readProcessId("' OR '1'='1", pid), 0);
    EXPECT_EQ(pid, 0);
    LoggingParameters parameters;
    EXPECT_EQ(db->readLoggingParameters("it's; me", parameters), 0);
    EXPECT_EQ(parameters.dir_value, "D:\\quoted");
    TokenValue value;
    EXPECT_EQ(db->readToken("x') OR 1=1 --", value), -1);
    EXPECT_EQ(suite.scalar("SELECT count(*) FROM process"), "4");
    EXPECT_FALSE(dumpExists());
}

TEST_F(DBoperationsTest, LongValuesAreCutToTheirColumnSizes)
{
    const std::string longText(450, 'x');
    ASSERT_TRUE(suite.exec("UPDATE zelt_version SET current_versionname = '" + longText +
                           "';"
                           "UPDATE velmor_param SET dir_value = '" +
                           longText + "', file_value = '" + longText +
                           "', line_interval_value = '123456789012';"));
    auto db = connected();
    int version = 0;
    std::string name;
    EXPECT_EQ(db->readVersion(version, name), 0);
    EXPECT_EQ(name, std::string(199, 'x'));
    LoggingParameters parameters;
    EXPECT_EQ(db->readLoggingParameters("HV user", parameters), 0);
    EXPECT_EQ(parameters.dir_value, std::string(299, 'x'));
    EXPECT_EQ(parameters.file_value, std::string(299, 'x'));
    EXPECT_EQ(parameters.line_interval_value, "123456789");
}

} // namespace
