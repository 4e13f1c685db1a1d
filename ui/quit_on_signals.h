#pragma once

#include <QObject>

class QSocketNotifier;

namespace mandel_ui {

// The window's answer to signals: SIGTERM, SIGHUP and SIGINT quit the
// application through its event loop (so that an export in progress is
// cancelled and removes its file as the window closes); every other signal
// that ends the process removes the unfinished files before it does. A file
// larger than the size limit fails its write (SIGXFSZ is ignored).
// The handler only writes the signal's number to a pipe; the notifier reads
// it on the event loop's thread, where quitting is allowed.
class QuitOnSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; one per process.
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

signals:
    // Just before the application is told to quit; signal is its number.
    void quitting(int signal);

private:
    void readSignal();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace mandel_ui
