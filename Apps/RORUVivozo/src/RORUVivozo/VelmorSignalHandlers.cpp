// Ctrl-C and termination by the operating system: each request posts one PZELT_24 to the control.
#include "RORUVivozo/VelmorSignalHandlers.h"

#include "Fsm/Fsm.h"
#include "Fsm/FsmSignal.h"
#include "RORUVivozo/VelmorGlobals.h"
#include "RORUVivozo/VelmorSignals.h"
#include "Udp/Sentence.h"

#include <ace/Signal.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace
{

int requestPipe[2] = {-1, -1};

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

} // namespace

void handleTerminationRequest(int signalNumber)
{
    std::fputs(signalNumber == SIGINT ? interruptText : terminationText, stdout);
    std::fflush(stdout);

    CFsmBase* control = velmorControl.load();
    if (control == nullptr)
        return;
    control->ExternalInput(CZeltSignal::CopyOf(ZeltSig::PZELT_24, Udp::kTerminateSelf.data(),
                                               static_cast<int32_t>(Udp::kTerminateSelf.size())),
                           true);
}

bool installTerminationHandlers()
{
    if (::pipe2(requestPipe, O_CLOEXEC) != 0)
        return false;
    // The handlers' work runs on this thread, outside signal context, for as long as the process lives.
    std::thread(watchRequests).detach();

    static ACE_Sig_Action interruptAction(reinterpret_cast<ACE_SignalHandler>(onSignal), SIGINT);
    static ACE_Sig_Action terminationAction(reinterpret_cast<ACE_SignalHandler>(onSignal), SIGTERM);
    return true;
}
