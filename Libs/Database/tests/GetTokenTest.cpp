// The token store against a real suite: building the token file, reading it, and its failures.
#include "Database/GetToken.h"

#include "GetTokenLogCapture.h"
#include "support/TestSuite.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace
{

using VivozoTest::LogCapture;
using VivozoTest::ScopedEnvironment;
using VivozoTest::TestSuite;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class TokenStore : public ::testing::Test
{
protected:
    std::string jsonPath() const { return suite.root() + "/c/ProgramData/Hollvik/zelt/ZeltTokens.json"; }
    std::string missingLog() const { return suite.tempDirectory() + "/missingtokens.txt"; }

    QJsonObject savedDocument() const
    {
        return QJsonDocument::fromJson(QByteArray::fromStdString(readFile(jsonPath()))).object();
    }

    ScopedEnvironment programData{"ProgramData", std::nullopt};
    TestSuite suite;
    LogCapture log;
};

TEST_F(TokenStore, FirstConstructionBuildsTheTokenFileFromTheDatabase)
{
    ASSERT_TRUE(suite.ok()) << suite.error();
    ASSERT_TRUE(suite.exec("insert into float_values (id, value) values (1001, 0.123456789);"
                           "insert into token_value (token, value_id, description_id) values "
                           "('RTCM_TEST_FLOAT', 1001, NULL);"))
        << suite.error();
    ASSERT_FALSE(std::filesystem::exists(jsonPath()));

    CGetToken store;

    const QJsonObject root = savedDocument();
    EXPECT_EQ(root.value("version").toString(), "1");
    // 8 digits, an underscore, 6 digits, and a time of today.
    const QString lastSave = root.value("lastsave").toString();
    EXPECT_EQ(QDateTime::fromString(lastSave, "yyyyMMdd_hhmmss").date(), QDate::currentDate())
        << lastSave.toStdString();
    EXPECT_EQ(lastSave.size(), 15);

    // Every token of the database, in byte-wise name order.
    std::vector<std::string> names;
    QJsonObject dataPort;
    QJsonObject floatToken;
    for (const auto& element : root.value("tokens").toArray())
    {
        const QJsonObject token = element.toObject();
        names.push_back(token.value("Name").toString().toStdString());
        if (names.back() == "RTCM_DATAPORT")
            dataPort = token;
        if (names.back() == "RTCM_TEST_FLOAT")
            floatToken = token;
    }
    EXPECT_EQ(names, suite.column("select token from token_value order by token"));

    EXPECT_EQ(dataPort.value("Type").toInt(), 2);
    EXPECT_EQ(dataPort.value("Value").toString(), "3011");
    EXPECT_EQ(dataPort.value("Descr").toString().toStdString(),
              suite.scalar("select description from descriptions where id = 1").value_or("?"));
    EXPECT_EQ(floatToken.value("Type").toInt(), 1);
    EXPECT_EQ(floatToken.value("Value").toString(), "0.123457");
    EXPECT_EQ(floatToken.value("Descr").toString(), "");
    EXPECT_TRUE(log->has(log4cplus::DEBUG_LOG_LEVEL, "Init tokens. Empty list"));
}

TEST_F(TokenStore, ReadsSeededTokensThroughTheTokenFile)
{
    ASSERT_TRUE(suite.ok()) << suite.error();
    CGetToken store;

    EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 3011);
    EXPECT_EQ(store.getTokValueStr("RTCM_FILE"),
              suite.scalar("select value from varchar_values where id = 3002").value_or("?"));
    EXPECT_TRUE(log->has(log4cplus::DEBUG_LOG_LEVEL, "Get token RTCM_DATAPORT"));

    // Every read goes back to the file, so a value another process saved is seen at once.
    std::string text = readFile(jsonPath());
    const auto at = text.find("\"3011\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 6, "\"4011\"");
    writeFile(jsonPath(), text);
    EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 4011);
    EXPECT_TRUE(std::filesystem::is_empty(missingLog()));
}

TEST_F(TokenStore, WrongKindOrLetterCaseIsMissing)
{
    ASSERT_TRUE(suite.ok()) << suite.error();
    ASSERT_TRUE(suite.exec("insert into float_values (id, value) values (1001, 2.5);"
                           "insert into token_value (token, value_id) values ('RTCM_TEST_FLOAT', 1001);"))
        << suite.error();
    CGetToken store;

    EXPECT_EQ(store.getTokValueInt("RTCM_TEST_FLOAT"), 0);
    EXPECT_EQ(store.getTokValueInt("rtcm_dataport"), 0);
    EXPECT_EQ(store.getTokValueInt("RTCM_FILE"), 0);
    EXPECT_EQ(store.getTokValueStr("RTCM_DATAPORT"), "");
    EXPECT_EQ(store.getTokValueStr("NO_SUCH_TOKEN"), "");

    EXPECT_TRUE(log->has(log4cplus::WARN_LOG_LEVEL, "CGetToken - Not found RTCM_TEST_FLOAT"));
    EXPECT_TRUE(log->has(log4cplus::WARN_LOG_LEVEL, "CGetToken - Not found rtcm_dataport"));
    EXPECT_EQ(readFile(missingLog()), "getTokValueInt missing token RTCM_TEST_FLOAT\n"
                                      "getTokValueInt missing token rtcm_dataport\n"
                                      "getTokValueInt missing token RTCM_FILE\n"
                                      "getTokValueStr missing token RTCM_DATAPORT\n"
                                      "getTokValueStr missing token NO_SUCH_TOKEN\n");
}

TEST_F(TokenStore, ReadsValuesAndKindsFromTheFileDefensively)
{
    ASSERT_TRUE(suite.ok()) << suite.error();
    CGetToken store;
    writeFile(jsonPath(), R"({"tokens": [
        {"Name": "BIG", "Type": 2, "Value": "4294967296"},
        {"Name": "NEGATIVE", "Type": 2, "Value": "-2147483648"},
        {"Name": "NOT_A_NUMBER", "Type": 2, "Value": "12abc"},
        {"Name": "FLOAT", "Type": 1, "Value": "1.5e3", "Descr": "d"},
        {"Name": "SEVEN", "Type": 7, "Value": "7"},
        {"Name": "QUOTED_TYPE", "Type": "3", "Value": "x"},
        {"Name": "TEXT", "Type": 3, "Value": "caf\u00e9"},
        {"Name": "TEXT", "Type": 3, "Value": "later wins"},
        {}, 5, "loose"
    ]})");

    ASSERT_TRUE(store.readJson());
    const auto tokens = store.tokens();
    EXPECT_EQ(tokens.size(), 7u);
    EXPECT_EQ(tokens.at("BIG").kind, TokenKind::Integer);
    EXPECT_EQ(tokens.at("BIG").intValue, 0);
    EXPECT_EQ(tokens.at("NEGATIVE").intValue, -2147483647 - 1);
    EXPECT_EQ(tokens.at("NOT_A_NUMBER").intValue, 0);
    EXPECT_EQ(tokens.at("FLOAT").kind, TokenKind::Float);
    EXPECT_DOUBLE_EQ(tokens.at("FLOAT").floatValue, 1500.0);
    EXPECT_EQ(tokens.at("FLOAT").description, "d");
    EXPECT_EQ(tokens.at("SEVEN").kind, TokenKind::None);
    EXPECT_EQ(tokens.at("QUOTED_TYPE").kind, TokenKind::None);
    EXPECT_EQ(tokens.at("TEXT").textValue, "later wins");

    writeFile(jsonPath(), R"({"version": "1", "tokens": [{"Name": "T", "Type": 3, "Value": "caf\u00e9"}]})");
    EXPECT_EQ(store.getTokValueStr("T"), "caf\xc3\xa9");
    EXPECT_EQ(store.getTokValueInt("BIG"), 0);

    // No tokens at all is a failed read that leaves the file alone.
    writeFile(jsonPath(), R"({"version": "1"})");
    EXPECT_FALSE(store.readJson());
    EXPECT_TRUE(std::filesystem::exists(jsonPath()));
}

TEST_F(TokenStore, DeletesATokenFileThatIsNotAJsonObject)
{
    ASSERT_TRUE(suite.ok()) << suite.error();
    CGetToken store;
    const std::string good = readFile(jsonPath());
    ASSERT_FALSE(good.empty());

    const std::string cases[] = {
        "[{\"Name\": \"RTCM_DATAPORT\", \"Type\": 2, \"Value\": \"3011\"}]",
        good.substr(0, good.size() / 2),
        "{\"tokens\": [{\"Name\": \"RTCM_\xff\", \"Type\": 2, \"Value\": \"3011\"}]}",
        "",
        "\"text\"",
    };
    for (const std::string& bytes : cases)
    {
        writeFile(jsonPath(), bytes);
        EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 0) << bytes;
        EXPECT_FALSE(std::filesystem::exists(jsonPath())) << bytes;
        // Gone now: the next read fails without touching anything.
        EXPECT_EQ(store.getTokValueStr("RTCM_FILE"), "") << bytes;
    }
    EXPECT_TRUE(log->has(log4cplus::WARN_LOG_LEVEL, "CGetToken - isObject is false"));
    EXPECT_TRUE(log->has(log4cplus::WARN_LOG_LEVEL, "Couldn't open file."));
    EXPECT_TRUE(log->has(log4cplus::WARN_LOG_LEVEL, "CGetToken - read failed"));
    // A failed read is not a missing token.
    EXPECT_TRUE(std::filesystem::is_empty(missingLog()));

    // The next process start rebuilds it from the database.
    CGetToken restarted;
    EXPECT_EQ(restarted.getTokValueInt("RTCM_DATAPORT"), 3011);
}

TEST_F(TokenStore, WithoutDatabaseNothingIsCreatedAndReadsGiveNothing)
{
    ASSERT_TRUE(suite.ok()) << suite.error();
    std::filesystem::remove(suite.databasePath());

    CGetToken store;
    EXPECT_FALSE(std::filesystem::exists(suite.databasePath()));
    EXPECT_FALSE(std::filesystem::exists(jsonPath()));
    EXPECT_EQ(store.getTokValueInt("RTCM_DATAPORT"), 0);
    EXPECT_EQ(store.getTokValueStr("RTCM_FILE"), "");

    // An empty map must not wipe the token file that other processes share.
    const std::string shared = R"({"tokens": [{"Name": "RTCM_DATAPORT", "Type": 2, "Value": "3011"}]})";
    writeFile(jsonPath(), shared);
    EXPECT_FALSE(store.saveJson());
    EXPECT_EQ(readFile(jsonPath()), shared);
}

TEST_F(TokenStore, DescriptionsFollowTheLanguageTable)
{
    ASSERT_TRUE(suite.ok()) << suite.error();
    // A quote in a name is data, not part of the statement.
    ASSERT_TRUE(
        suite.exec("insert into integer_values (id, value) values (2901, 5);"
                   "insert into token_value (token, value_id, description_id) values ('IT''S', 2901, 4);"))
        << suite.error();
    CGetToken store;

    const auto tokens = store.tokens();
    EXPECT_EQ(tokens.at("IT'S").intValue, 5);
    EXPECT_EQ(tokens.at("IT'S").description,
              suite.scalar("select description from descriptions where id = 4").value_or("?"));
    EXPECT_EQ(tokens.at("RTCM_CORR_DIR").description,
              suite.scalar("select description from descriptions where id = 2").value_or("?"));
}

} // namespace
