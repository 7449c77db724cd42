#include "window/SignalClose.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace window {

namespace {

// The handler may only write to a pipe; the event loop reads it on the UI thread.
int gSignalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

}  // namespace

QString closeOnTerminationSignals(QWidget& window) {
    if (gSignalPipe[0] >= 0) return {};
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return QStringLiteral("pipe2(): %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char bytes[16];
        while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        if (::sigaction(sig, &action, nullptr) != 0) {
            return QStringLiteral("sigaction(%1): %2")
                .arg(QString::fromLocal8Bit(strsignal(sig)),
                     QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    return {};
}

}  // namespace window
