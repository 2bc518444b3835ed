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

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

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

// A termination asked for before the control existed, for the entry to hand on once it does.
std::atomic<bool> terminationPending{false};

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

    CFsmBase<CZeltSignal>* control = velmorControl.load();
    if (signalNumber == SIGHUP)
    {
        // Before the control exists there is nothing to reread: its first read is still to come.
        if (control != nullptr)
            control->ExternalInput(std::make_unique<CZeltSignal>(ZeltSig::PZELT_6, nullptr, nullptr, 0),
                                   true);
        return;
    }
    CGetToken::stopWaitingForLock();
    if (control != nullptr)
        return postTermination(*control);

    terminationPending.store(true);
    const auto giveUp = std::chrono::steady_clock::now() + kStartUpGrace;
    while ((control = velmorControl.load()) == nullptr)
    {
        if (std::chrono::steady_clock::now() >= giveUp)
        {
            std::fputs(startUpEndedText, stderr);
            std::_Exit(EXIT_SUCCESS);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The entry may have taken it up already; one of the two hands it on.
    if (terminationPending.exchange(false))
        postTermination(*control);
}

void takeUpPendingTermination()
{
    CFsmBase<CZeltSignal>* control = velmorControl.load();
    if (control != nullptr && terminationPending.exchange(false))
        postTermination(*control);
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
