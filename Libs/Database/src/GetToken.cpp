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

std::int32_t CGetToken::getTokValueInt(const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    qDebug("Get token %s", name.c_str());
    if (!readJsonLocked())
        return 0;
    const auto found = m_tokens.find(name);
    if (found != m_tokens.end() && found->second.kind == KindInt)
        return found->second.intValue;
    qWarning("CGetToken - Not found %s", name.c_str());
    logMissing("getTokValueInt", name);
    return 0;
}

std::string CGetToken::getTokValueStr(const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    qDebug("Get token %s", name.c_str());
    if (!readJsonLocked())
    {
        qWarning("CGetToken - read failed");
        return {};
    }
    const auto found = m_tokens.find(name);
    if (found != m_tokens.end() && found->second.kind == KindText)
        return found->second.textValue;
    qWarning("CGetToken - Not found %s", name.c_str());
    logMissing("getTokValueStr", name);
    return {};
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
    // Qt's messages from the first initialisation already belong in the process log.
    static CGetToken& store = []() -> CGetToken&
    {
        installQtLogForwarding();
        static CGetToken instance;
        return instance;
    }();
    return store;
}
