// Reading and writing the shared token file, always under the cross-process lock.
#include "Database/GetToken.h"

#include "GetTokenLock.h"
#include "Platform/NativePath.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QTextCodec>
#include <QtGlobal>

#include <exception>
#include <limits>

namespace
{

QString nativeJsonFileName()
{
    return QString::fromStdString(Platform::nativePath(CGetToken::jsonFileName()));
}

// Qt's JSON reader lets broken UTF-8 through as replacement characters; such a file is not ours.
bool isUtf8(const QByteArray& bytes)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

std::string eightBit(const QString& text)
{
    // The suite's 8-bit texts are UTF-8 on this platform.
    return text.toUtf8().toStdString();
}

TokenEntry entryFromJson(const QJsonObject& token)
{
    TokenEntry entry;
    entry.description = eightBit(token.value("Descr").toString());
    const QString value = token.value("Value").toString();
    bool ok = false;
    entry.kind = tokenKindOf(token.value("Type").toInt(0));
    switch (entry.kind)
    {
    case TokenKind::Float:
        entry.floatValue = value.toDouble(&ok);
        if (!ok)
            entry.floatValue = 0.0;
        break;
    case TokenKind::Integer:
        // Out of the 32-bit range does not convert, and reads as 0.
        entry.intValue = value.toInt(&ok, 10);
        if (!ok)
            entry.intValue = 0;
        break;
    case TokenKind::Text:
        entry.textValue = eightBit(value);
        break;
    case TokenKind::None:
        break;
    }
    return entry;
}

QString valueText(const TokenValue& value)
{
    switch (value.kind)
    {
    case TokenKind::Float:
        return QString::asprintf("%g", value.floatValue);
    case TokenKind::Integer:
        return QString::number(value.intValue);
    case TokenKind::Text:
        return QString::fromStdString(value.textValue);
    default:
        return QString();
    }
}

} // namespace

bool CGetToken::readJsonLocked(int lockTries, int lockPauseMs)
{
    CTokenFileLock lock;
    m_lockTimedOut = false;
    if (!lock.acquire(lockTries, lockPauseMs))
    {
        m_lockTimedOut = true;
        return false;
    }
    try
    {
        qDebug("Read json file");
        QFile file(nativeJsonFileName());
        if (!file.open(QIODevice::ReadOnly))
        {
            qWarning("Couldn't open file.");
            return false;
        }
        const QByteArray bytes = file.readAll();
        QJsonDocument document;
        if (isUtf8(bytes))
        {
            QJsonParseError error;
            document = QJsonDocument::fromJson(bytes, &error);
        }
        if (!document.isObject())
        {
            // Truncated, foreign or broken: the next start rebuilds it from the database.
            qWarning("CGetToken - isObject is false");
            file.close();
            file.remove();
            return false;
        }

        const QJsonArray tokens = document.object().value("tokens").toArray();
        m_tokens.clear();
        for (const QJsonValue& element : tokens)
        {
            const QJsonObject token = element.toObject();
            if (token.isEmpty())
                continue;
            m_tokens[eightBit(token.value("Name").toString())] = entryFromJson(token);
        }
        m_tokenCount = static_cast<int>(m_tokens.size());

        if (m_tokens.empty())
        {
            qDebug("token size is 0");
            return false;
        }
        qDebug("CGetToken - read OK");
        return true;
    }
    catch (const std::exception& error)
    {
        const char* text = error.what();
        qDebug("%s", (text != nullptr && *text != '\0') ? text : "Unknown exception");
        return false;
    }
}

bool CGetToken::saveJsonLocked()
{
    qDebug("saveJson");
    // Truncating first would leave the shared file empty for every process.
    if (m_tokens.empty())
        return false;

    CTokenFileLock lock;
    if (!lock.acquire())
        return false;
    QFile file(nativeJsonFileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    {
        qWarning("Couldn't open save file.");
        return false;
    }

    QJsonArray tokens;
    for (const auto& [name, entry] : m_tokens)
    {
        QJsonObject token;
        token.insert("Name", QString::fromStdString(name));
        token.insert("Descr", QString::fromStdString(entry.description));
        token.insert("Type", static_cast<int>(entry.kind));
        token.insert("Value", valueText(entry));
        tokens.append(token);
    }
    QJsonObject root;
    root.insert("version", "1");
    root.insert("lastsave", QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss"));
    root.insert("tokens", tokens);

    const QByteArray text = QJsonDocument(root).toJson(QJsonDocument::Indented);
    const bool written = file.write(text) == text.size() && file.flush();
    if (!written)
        qWarning("Couldn't write save file.");
    return written;
}
