// zeltconsole watch: reads the logger's status snapshot every second and redraws its view.
#include "Watch.h"

#include "BridgeView.h"
#include "StatusFile.h"
#include "StatusView.h"

#include "Platform/BootClock.h"
#include "Platform/NativePath.h"

#include <csignal>
#include <unistd.h>

#include <iostream>

namespace
{

// The same reader as serve's, so that a link planted at the snapshot's name is never followed here either.
StatusView readSnapshot(const std::string& path)
{
    const StatusFile file = readStatusFile(path, kLoggerSnapshot);
    if (!file.problem.empty())
        return {file.problem, {}};
    static const std::string bootId = Platform::bootId();
    const ReadingTime now{unixNow(), Platform::monotonicSeconds(), bootId};
    return statusView(file.object, now, path);
}

} // namespace

int watchStatus(const std::string& snapshotPath, bool once, const std::vector<std::string>& bridgePaths)
{
    const std::string path = Platform::nativePath(snapshotPath);
    // Every view below shows the bridges beneath the logger.
    const auto readSnapshot = [&](const std::string& logger)
    { return withBridges(::readSnapshot(logger), bridgePaths, unixNow()); };
    if (once)
    {
        const StatusView view = readSnapshot(path);
        if (!view.problem.empty())
            std::cerr << "zeltconsole: " << view.problem << std::endl;
        for (const std::string& line : view.lines)
            std::cout << line << '\n';
        std::cout << std::flush;
        return view.problem.empty() ? 0 : 1;
    }

    // Taken by sigtimedwait below, so the wait between two views is also the wait for the end.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    for (bool first = true;; first = false)
    {
        const StatusView view = readSnapshot(path);
        // Home and clear on a terminal; elsewhere (a pipe, a file) one block after another.
        std::string frame = terminal ? "\x1b[H\x1b[2J" : first ? "" : "\n";
        if (!view.problem.empty())
            frame += "zeltconsole: " + view.problem + (view.lines.empty() ? "\n" : "\n\n");
        for (const std::string& line : view.lines)
            frame += line + '\n';
        std::cout << frame << std::flush;
        const timespec second{1, 0};
        if (::sigtimedwait(&ending, nullptr, &second) > 0)
            return 0;
    }
}
