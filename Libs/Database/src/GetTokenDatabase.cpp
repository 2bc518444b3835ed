// Building the token map from the suite's token database, used only while the token file is missing.
#include "Database/GetToken.h"

#include "Platform/NativePath.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QtGlobal>

#include <atomic>
#include <initializer_list>
#include <limits>

namespace
{

constexpr const char* TokenDatabase = "C:\\ProgramData\\Hollvik\\zelt\\zelt.db";
constexpr int DescriptionLanguage = 3;

struct ValueQuery
{
    const char* sql;
    TokenKind kind;
};

constexpr ValueQuery ValueQueries[] = {
    {"select value_id, token, float_values.value from token_value inner join float_values on "
     "token_value.value_id = float_values.id",
     TokenKind::Float},
    {"select value_id, token, integer_values.value from token_value inner join integer_values on "
     "token_value.value_id = integer_values.id",
     TokenKind::Integer},
    {"select value_id, token, varchar_values.value from token_value inner join varchar_values on "
     "token_value.value_id = varchar_values.id",
     TokenKind::Text},
};

std::string eightBit(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Reports a database error as a debug message; true when there was one.
bool reportError(const QSqlQuery& query)
{
    const QSqlError error = query.lastError();
    if (!error.isValid())
        return false;
    qDebug("%s", error.text().toUtf8().constData());
    return true;
}

// Runs a lookup with its bound values and takes the first column of its last row: 1, 0 when there is
// no row, -1 on a database error (reported).
int lookUp(QSqlQuery& query, const char* sql, std::initializer_list<QVariant> values, QVariant& value)
{
    query.prepare(sql);
    for (const QVariant& bound : values)
        query.addBindValue(bound);
    query.exec();
    if (reportError(query))
        return -1;
    bool any = false;
    while (query.next())
    {
        value = query.value(0);
        any = true;
    }
    return any ? 1 : 0;
}

} // namespace

bool CGetToken::openDatabase()
{
    static std::atomic<int> connections{0};
    closeDatabase();
    // A connection of our own: a Qt connection belongs to the thread that made it, and it is
    // closed again before the constructor returns.
    const std::string name = "CGetToken" + std::to_string(++connections);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", QString::fromStdString(name));
        db.setDatabaseName(QString::fromStdString(Platform::nativePath(TokenDatabase)));
        // Read-only: a missing database must not be created empty in the suite's directory.
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (db.open())
        {
            m_connection = name;
            return true;
        }
        qDebug("%s", db.lastError().text().toUtf8().constData());
    }
    QSqlDatabase::removeDatabase(QString::fromStdString(name));
    return false;
}

void CGetToken::closeDatabase()
{
    if (m_connection.empty())
        return;
    const QString name = QString::fromStdString(m_connection);
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    m_connection.clear();
}

int CGetToken::loadFromDatabase()
{
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(m_connection), false);
    for (const ValueQuery& values : ValueQueries)
    {
        QSqlQuery query(db);
        query.exec(values.sql);
        if (reportError(query))
            continue;
        while (query.next())
        {
            const std::string name = eightBit(query.value(1).toString());
            TokenEntry entry;
            entry.kind = values.kind;
            const QVariant value = query.value(2);
            switch (values.kind)
            {
            case TokenKind::Float:
                entry.floatValue = value.toFloat();
                break;
            case TokenKind::Integer:
            {
                bool ok = false;
                const qlonglong number = value.toLongLong(&ok);
                // A value beyond 32 bits would otherwise come out as some other number.
                if (ok && number >= std::numeric_limits<std::int32_t>::min() &&
                    number <= std::numeric_limits<std::int32_t>::max())
                    entry.intValue = static_cast<std::int32_t>(number);
                break;
            }
            default:
                entry.textValue = eightBit(value.toString());
                break;
            }
            std::string description;
            if (readDescription(name, DescriptionLanguage, description) == 0)
                entry.description = description;
            m_tokens[name] = entry;
        }
    }
    m_tokenCount = static_cast<int>(m_tokens.size());
    return m_tokenCount;
}

int CGetToken::readDescription(const std::string& name, int language, std::string& description)
{
    description.clear();
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(m_connection), false);
    QSqlQuery query(db);
    QVariant id;

    // Bound values: a name with a quote in it must not change the statement.
    int found = lookUp(query, "select description_id from token_value where token=upper(?)",
                       {QString::fromStdString(name)}, id);
    if (found == 1)
        found = lookUp(query, "select description_id from descriptions_language where id=? and language=?",
                       {id.toInt(), language}, id);
    if (found != 1)
        return found;
    // An error on the text itself is reported and counts as no description.
    QVariant text;
    if (lookUp(query, "select description from descriptions where id=?", {id.toInt()}, text) == 1)
        description = eightBit(text.toString());
    return 0;
}
