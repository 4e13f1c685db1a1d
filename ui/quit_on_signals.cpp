#include "quit_on_signals.h"

#include <fcntl.h>
#include <cerrno>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "files/fatal_signals.h"

namespace mandel_ui {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGHUP, SIGINT};

int signalPipe[2] = {-1, -1};  // [0] read by the notifier, [1] written by the handler

extern "C" void passSignalToEventLoop(int signal) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (::write(signalPipe[1], &number, 1) < 0) { /* a full pipe: a quit is already pending */
    }
    errno = savedErrno;
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
    mandel::removeUnfinishedFilesOnFatalSignals({SIGTERM, SIGHUP, SIGINT, SIGXFSZ});
    ::signal(SIGXFSZ, SIG_IGN);
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the default actions stay
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = passSignalToEventLoop;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : kQuitSignals) ::sigaction(signal, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals() {
    // A signal after the event loop is gone ends the process, removing the files.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kQuitSignals) ::sigaction(signal, &action, nullptr);
    mandel::removeUnfinishedFilesOnFatalSignals({SIGXFSZ});
}

void QuitOnSignals::readSignal() {
    unsigned char number = 0;
    while (::read(signalPipe[0], &number, 1) == 1) {
        emit quitting(number);
        QCoreApplication::quit();
    }
}

}  // namespace mandel_ui
