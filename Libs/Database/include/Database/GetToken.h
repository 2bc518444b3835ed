// The suite's token store: named run-time parameters kept in the shared "ZeltTokens.json",
// built from the suite's token database when missing and guarded across processes by a lock file.
#pragma once

#include "Database/TokenValue.h"
#include "Platform/UniqueFile.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// A token of the store: its value and its description.
struct TokenEntry : TokenValue
{
    std::string description;
};

class CGetToken
{
public:
    // Runs the initialisation, and once more if it fails. Never raises.
    CGetToken();
    ~CGetToken();
    CGetToken(const CGetToken&) = delete;
    CGetToken& operator=(const CGetToken&) = delete;

    // How long a read waits for another process's lock once the store has read the file: then what that
    // read held of the token, its value or its absence, is the answer (and reported), so no caller waits
    // long for a busy file. After such a read, reads try the lock once, without waiting, until one gets it.
    static constexpr int quickLockTries = 4;
    static constexpr int quickLockPauseMs = 20;

    // 0 when the token is missing, has another kind, or the token file cannot be read. While another
    // process holds the lock, a token keeps what the last good read held: its value, or 0 when absent.
    std::int32_t getTokValueInt(const std::string& name);
    // Empty when the token is missing, has another kind, or the token file cannot be read; the last
    // value read while another process holds the lock, as getTokValueInt.
    std::string getTokValueStr(const std::string& name);

    // The process is ending: from now on no read waits for another process's lock; each tries it once.
    // Safe from any thread.
    static void stopWaitingForLock();

    // One finished trace line for every read that answered with the last value read.
    using Report = std::function<void(const std::string& line)>;
    void setReport(Report report);

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
    int init();
    bool openDatabase();
    void closeDatabase();
    bool readJsonLocked(int lockTries = 100, int lockPauseMs = 100);
    // The entry of a token of that kind in the last good read, if any.
    const TokenEntry* knownEntry(const std::string& name, TokenKind kind) const;
    // Reads the file and finds the token; while another process holds the lock, the last good read answers
    // (with the token's value or without one). readFailed: the file gave no answer at all.
    std::optional<TokenEntry> findToken(const std::string& name, TokenKind kind, bool& readFailed);
    // findToken with the warnings and the missing-token line of a getter named function; only the text
    // getter warns of a read that failed.
    std::optional<TokenEntry> readToken(const std::string& name, TokenKind kind, const char* function,
                                        bool warnReadFailure);
    bool saveJsonLocked();
    void logMissing(const char* function, const std::string& name);

    // Qt connection name of the token database; empty while it is closed.
    std::string m_connection;
    Platform::UniqueFile m_missingLog;
    std::map<std::string, TokenEntry> m_tokens;
    int m_tokenCount = 0;
    bool m_lockTimedOut = false; // the last readJsonLocked could not get the lock
    Report m_report;
    // The map is rebuilt on every read; keep that to one thread at a time.
    mutable std::mutex m_mutex;
};

// Sends Qt's debug and warning messages (the token store's among them) to the caller's logger. The
// first call installs it and names the logger; later calls change nothing.
void installQtLogForwarding(const std::string& loggerName);

// The process-wide token store, built at its first use.
CGetToken& tokenStore();
