#include "files/fatal_signals.h"

#include <signal.h>

#include <algorithm>

#include "files/safe_file.h"

namespace mandel {

namespace {

extern "C" void removeFilesThenEnd(int signal) {
    removeUncommittedFilesNow();
    // The handler was reset to the default action on entry and the signal is
    // not blocked (SA_RESETHAND | SA_NODEFER), so this ends the process with
    // the signal's own status.
    ::raise(signal);
}

}  // namespace

std::vector<int> signalsThatEndTheProcess() {
    std::vector<int> signals{SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,
                             SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU,
                             SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS};
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
    return signals;
}

void removeUnfinishedFilesOnFatalSignals(std::initializer_list<int> others) {
    struct sigaction action {};
    action.sa_handler = removeFilesThenEnd;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : signalsThatEndTheProcess())
        if (std::find(others.begin(), others.end(), signal) == others.end()) ::sigaction(signal, &action, nullptr);
}

}  // namespace mandel
