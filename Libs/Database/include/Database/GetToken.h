// The suite's token store: named run-time parameters kept in the shared "ZeltTokens.json",
// built from the suite's token database when missing and guarded across processes by a lock file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

// What a token holds; only the member matching the kind is meaningful.
struct TokenEntry
{
    std::string description;
    int kind = 0; // 1 floating point, 2 integer, 3 text, 0 unknown
    std::int32_t intValue = 0;
    double floatValue = 0.0;
    std::string textValue;
};

class CGetToken
{
public:
    static constexpr int KindFloat = 1;
    static constexpr int KindInt = 2;
    static constexpr int KindText = 3;

    // Runs the initialisation, and once more if it fails. Never raises.
    CGetToken();
    ~CGetToken();
    CGetToken(const CGetToken&) = delete;
    CGetToken& operator=(const CGetToken&) = delete;

    // 0 when the token is missing, has another kind, or the token file cannot be read.
    std::int32_t getTokValueInt(const std::string& name);
    // Empty when the token is missing, has another kind, or the token file cannot be read.
    std::string getTokValueStr(const std::string& name);

    // Reloads the map from the token file.
    bool readJson();
    // Writes the map to the token file.
    bool saveJson();
    // Fills the map from the token database (open during initialisation only); returns the map's size.
    int loadFromDatabase();
    // 0 and the description when found, -1 when the database reports an error.
    int readDescription(const std::string& name, int language, std::string& description);

    // The last successful read, for callers that want more than one value.
    std::map<std::string, TokenEntry> tokens() const;

    // The token file: the suite data directory followed by "ZeltTokens.json".
    static std::string jsonFileName();

private:
    struct FileCloser
    {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    int init();
    bool openDatabase();
    void closeDatabase();
    bool readJsonLocked();
    bool saveJsonLocked();
    void logMissing(const char* function, const std::string& name);

    // Qt connection name of the token database; empty while it is closed.
    std::string m_connection;
    std::unique_ptr<std::FILE, FileCloser> m_missingLog;
    std::map<std::string, TokenEntry> m_tokens;
    int m_tokenCount = 0;
    // The map is rebuilt on every read; keep that to one thread at a time.
    mutable std::mutex m_mutex;
};

// Sends Qt's debug and warning messages to the process log (logger "RORUVIVOZO"). Safe to call more than
// once.
void installQtLogForwarding();

// The process-wide token store, built at its first use.
CGetToken& tokenStore();
