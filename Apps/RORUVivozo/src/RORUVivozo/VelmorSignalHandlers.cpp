// Signals from the operating system: the ones that would end the process post one PZELT_24 to the
// control each, a hang-up asks for a reread, a broken pipe is ignored.
#include "RORUVivozo/VelmorSignalHandlers.h"

#include "Database/GetToken.h"
#include "Fsm/Fsm.h"
#include "Fsm/FsmSignal.h"
#include "RORUVivozo/VelmorGlobals.h"
#include "RORUVivozo/VelmorSignals.h"
#include "SuiteProtocol/Sentence.h"

#include <ace/Signal.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>

namespace
{

int requestPipe[2] = {-1, -1};

// By default each would end the process with the log file neither closed nor converted.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};

// Runs in signal context: only hands the number on. Taking queue locks here could deadlock
// against the very thread the signal interrupted.
extern "C" void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(requestPipe[1], &number, 1);
    errno = savedErrno;
}

void watchRequests()
{
    unsigned char number = 0;
    for (;;)
    {
        const ssize_t got = ::read(requestPipe[0], &number, 1);
        if (got == 1)
            handleTerminationRequest(number);
        else if (got == 0 || errno != EINTR)
            return;
    }
}

// A broken pipe (standard error read by a program that went away) is no reason to end. A handler
// rather than SIG_IGN: the converters started by the logger get the default back at exec.
extern "C" void onBrokenPipe(int) {}

// The control's life, as far as a termination request cares: made or not yet, and a request waiting.
std::mutex lifeLock;
std::condition_variable controlMadeNow;
bool controlMade = false;        // taken down again, too, once velmorControl is empty after it
bool terminationPending = false; // asked for before the control was made

// How long a termination before the control exists waits for it. Nothing is logged yet, so a start-up
// that another process holds up (the suite database, say) is not sat out.
constexpr std::chrono::milliseconds kStartUpGrace{250};

void postTermination(CFsmBase<CZeltSignal>& control)
{
    control.ExternalInput(CZeltSignal::CopyOf(ZeltSig::PZELT_24, SuiteProtocol::kTerminateSelf.data(),
                                              static_cast<int32_t>(SuiteProtocol::kTerminateSelf.size())),
                          true);
}

} // namespace

void handleTerminationRequest(int signalNumber)
{
    std::fputs(signalNumber == SIGINT   ? interruptText
               : signalNumber == SIGHUP ? rereadText
                                        : terminationText,
               stdout);
    std::fflush(stdout);

    if (signalNumber == SIGHUP)
    {
        // Before the control exists there is nothing to reread: its first read is still to come.
        if (CFsmBase<CZeltSignal>* control = velmorControl.load())
            control->ExternalInput(std::make_unique<CZeltSignal>(ZeltSig::PZELT_6, nullptr, nullptr, 0),
                                   true);
        return;
    }
    CGetToken::stopWaitingForLock();
    std::unique_lock<std::mutex> lock(lifeLock);
    if (controlMade)
    {
        // Without a control it is being taken down already: the end is on its way.
        if (CFsmBase<CZeltSignal>* control = velmorControl.load())
            postTermination(*control);
        return;
    }
    terminationPending = true;
    if (!controlMadeNow.wait_for(lock, kStartUpGrace, [] { return controlMade; }))
    {
        std::fputs(startUpEndedText, stderr);
        std::_Exit(EXIT_SUCCESS);
    }
}

void takeUpPendingTermination()
{
    const std::lock_guard<std::mutex> lock(lifeLock);
    controlMade = true;
    if (std::exchange(terminationPending, false))
        postTermination(*velmorControl.load());
    controlMadeNow.notify_all();
}

bool installTerminationHandlers()
{
    if (::pipe2(requestPipe, O_CLOEXEC) != 0)
        return false;
    // The handlers' work runs on this thread, outside signal context, for as long as the process lives.
    std::thread(watchRequests).detach();

    static ACE_Sig_Set requests;
    for (int number : kEndingSignals)
        requests.sig_add(number);
    requests.sig_add(SIGHUP);
    // The process goes on after a hang-up or a broken pipe: a call they interrupt must not fail for it.
    static ACE_Sig_Action requestAction(requests, reinterpret_cast<ACE_SignalHandler>(onSignal), nullptr,
                                        SA_RESTART);
    static ACE_Sig_Action brokenPipeAction(reinterpret_cast<ACE_SignalHandler>(onBrokenPipe), SIGPIPE,
                                           nullptr, SA_RESTART);
    return true;
}
