// The cross-process lock on the token file: a byte-range lock on the shared lock file.
#include "GetTokenLock.h"

#include "Database/GetToken.h"
#include "Platform/NativePath.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace
{

constexpr const char* LockFileName = "c:\\temp\\token.lck";
constexpr off_t LockedBytes = 256;

std::atomic<bool> waitingStopped{false};

} // namespace

void CGetToken::stopWaitingForLock()
{
    waitingStopped.store(true);
}

CTokenFileLock::CTokenFileLock()
{
    m_fd = ::open(Platform::nativePath(LockFileName).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0)
        qWarning("Error creating handle to new file.");
}

CTokenFileLock::~CTokenFileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CTokenFileLock::acquire(int tries, int pauseMs)
{
    if (m_fd < 0)
        return false;
    // An open-file-description lock, unlike a classic POSIX lock, also excludes a second
    // thread of this process, and it goes away with the descriptor.
    struct flock range = {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = LockedBytes;
    for (int attempt = 0; attempt < tries; ++attempt)
    {
        if (::fcntl(m_fd, F_OFD_SETLK, &range) == 0)
        {
            qDebug("File lock secured");
            return true;
        }
        if (waitingStopped.load())
            break;
        qDebug("File lock failed. Sleep some");
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    qWarning("File lock failed. Giving up after %d tries", tries);
    return false;
}
