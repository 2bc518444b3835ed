// The cross-process lock on the token file: a byte-range lock on the shared lock file.
#pragma once

class CTokenFileLock
{
public:
    // Creates the lock file anew; the lock itself is taken by acquire().
    CTokenFileLock();
    // Closing the file is what releases the lock, on every path.
    ~CTokenFileLock();
    CTokenFileLock(const CTokenFileLock&) = delete;
    CTokenFileLock& operator=(const CTokenFileLock&) = delete;

    static constexpr int defaultTries = 100;
    static constexpr int defaultPauseMs = 100;

    // Tries without waiting, up to tries times, pausing between tries.
    bool acquire(int tries = defaultTries, int pauseMs = defaultPauseMs);

private:
    int m_fd = -1;
};
