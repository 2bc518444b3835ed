// The token store's life cycle and its two readers.
#include "Database/GetToken.h"

#include "Platform/NativePath.h"
#include "Platform/SuiteDirectory.h"

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

namespace
{

constexpr const char* MissingTokenLog = "c:/temp/missingtokens.txt";

} // namespace

CGetToken::CGetToken()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (init() == -1)
        init();
}

CGetToken::~CGetToken()
{
    closeDatabase();
}

std::string CGetToken::jsonFileName()
{
    return Platform::suiteDataDirectory() + "ZeltTokens.json";
}

int CGetToken::init()
{
    m_missingLog.reset(std::fopen(Platform::nativePath(MissingTokenLog).c_str(), "a"));

    if (!QFileInfo::exists(QString::fromStdString(Platform::nativePath(jsonFileName()))))
    {
        if (!openDatabase())
            return -1;
        if (m_tokens.empty())
        {
            qDebug("Init tokens. Empty list");
            if (loadFromDatabase() == 0)
            {
                qWarning("No tokens in database");
                closeDatabase();
                return -1;
            }
            saveJsonLocked();
        }
        // The reads never need the database again.
        closeDatabase();
    }
    return readJsonLocked() ? 0 : -1;
}

const TokenEntry* CGetToken::knownEntry(const std::string& name, TokenKind kind) const
{
    const auto found = m_tokens.find(name);
    return found != m_tokens.end() && found->second.kind == kind ? &found->second : nullptr;
}

void CGetToken::setReport(Report report)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_report = std::move(report);
}

std::optional<TokenEntry> CGetToken::findToken(const std::string& name, TokenKind kind, bool& readFailed)
{
    readFailed = false;
    // What the last good read said of the token, a value or its absence, is worth more than a long wait
    // on another process's lock.
    const bool readBefore = !m_tokens.empty();
    std::optional<TokenEntry> last;
    if (const TokenEntry* known = knownEntry(name, kind))
        last = *known;
    // Once the lock was found held, reads try it once only until one gets it again: a job reading
    // several tokens then waits for the first of them alone.
    const bool gotIt = !readBefore      ? readJsonLocked()
                       : m_lockTimedOut ? readJsonLocked(1, 0)
                                        : readJsonLocked(quickLockTries, quickLockPauseMs);
    if (gotIt)
    {
        if (const TokenEntry* entry = knownEntry(name, kind))
            return *entry;
        return std::nullopt;
    }
    if (readBefore && m_lockTimedOut)
    {
        if (m_report)
        {
            const std::string value = !last                        ? std::string("absent")
                                      : kind == TokenKind::Integer ? std::to_string(last->intValue)
                                                                   : "'" + last->textValue + "'";
            m_report("\n\tWARNING: Token file locked by another process: " + name +
                     " keeps the value last read, " + value + ".");
        }
        return last;
    }
    readFailed = true;
    return std::nullopt;
}

std::optional<TokenEntry> CGetToken::readToken(const std::string& name, TokenKind kind, const char* function,
                                               bool warnReadFailure)
{
    qDebug("Get token %s", name.c_str());
    bool readFailed = false;
    std::optional<TokenEntry> entry = findToken(name, kind, readFailed);
    if (entry)
        return entry;
    if (!readFailed)
    {
        qWarning("CGetToken - Not found %s", name.c_str());
        logMissing(function, name);
    }
    else if (warnReadFailure)
        qWarning("CGetToken - read failed");
    return std::nullopt;
}

std::int32_t CGetToken::getTokValueInt(const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const std::optional<TokenEntry> entry = readToken(name, TokenKind::Integer, "getTokValueInt", false);
    return entry ? entry->intValue : 0;
}

std::string CGetToken::getTokValueStr(const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const std::optional<TokenEntry> entry = readToken(name, TokenKind::Text, "getTokValueStr", true);
    return entry ? entry->textValue : std::string();
}

bool CGetToken::readJson()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return readJsonLocked();
}

bool CGetToken::saveJson()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return saveJsonLocked();
}

std::map<std::string, TokenEntry> CGetToken::tokens() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_tokens;
}

void CGetToken::logMissing(const char* function, const std::string& name)
{
    if (!m_missingLog)
        return;
    std::fprintf(m_missingLog.get(), "%s missing token %s\n", function, name.c_str());
    // Other processes append to the same log.
    std::fflush(m_missingLog.get());
}

CGetToken& tokenStore()
{
    static CGetToken store;
    return store;
}
