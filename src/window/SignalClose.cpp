#include "window/SignalClose.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace window {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler only sets the flag and writes to a pipe; the event loop reads the pipe on the UI
// thread.
int gSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t gSignal = 0;

QPointer<QWidget>& windowToClose() {
    static QPointer<QWidget> window;
    return window;
}

void onSignal(int sig) {
    const int saved = errno;
    gSignal = sig;
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

// On the UI thread: what the user would do to end the program now.
void endAsTheUserWould() {
    // A box's own event loop runs this; rejecting it ends that loop, and its caller goes on. A box
    // opened after this has missed the signal: whoever opens one asks terminationRequested() first.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog != nullptr && dialog->isVisible()) {
            dialog->reject();
        }
    }
    if (QWidget* window = windowToClose()) window->close();
}

}  // namespace

QString watchTerminationSignals() {
    if (gSignalPipe[0] >= 0) return {};
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return QStringLiteral("pipe2(): %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    auto* notifier =
        new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        endAsTheUserWould();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals) {
        if (::sigaction(sig, &action, nullptr) != 0) {
            return QStringLiteral("sigaction(%1): %2")
                .arg(QString::fromLocal8Bit(strsignal(sig)),
                     QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    return {};
}

void closeOnTermination(QWidget* window) {
    windowToClose() = window;
}

bool terminationRequested() {
    return gSignal != 0;
}

QString terminationSignalName() {
    const int sig = gSignal;
    if (sig == 0) return {};
    const char* abbreviation = sigabbrev_np(sig);
    return abbreviation != nullptr ? QStringLiteral("SIG") + QLatin1String(abbreviation)
                                   : QString::number(sig);
}

}  // namespace window
