#include "window/MessagePump.h"

#include <QApplication>
#include <utility>

namespace window {

namespace {

// While a modal window is open the idle handler does not run; the timer only looks now and then
// whether the modal window has gone.
constexpr int kModalPollMs = 50;

}  // namespace

MessagePump::MessagePump(platform::MessageLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.wakeFd(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { loop_.pump(); });
}

IdleHandler::IdleHandler(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    connect(&timer_, &QTimer::timeout, this, [this] { onIdle(); });
}

IdleHandler::~IdleHandler() {
    stopWaiting();
}

void IdleHandler::install() {
    installed_ = true;
    stopWaiting();
    timer_.start(0);
}

void IdleHandler::remove() {
    installed_ = false;
    stopWaiting();
    timer_.stop();
}

void IdleHandler::onIdle() {
    if (QApplication::activeModalWidget() != nullptr) {
        if (timer_.interval() != kModalPollMs) timer_.setInterval(kModalPollMs);
        return;
    }
    if (timer_.interval() != 0) timer_.setInterval(0);

    bool done = true;
    handler_(done);
    if (done && installed_) waitForEvent();
}

void IdleHandler::waitForEvent() {
    timer_.stop();
    if (!waiting_) {
        waiting_ = true;
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void IdleHandler::stopWaiting() {
    if (!waiting_) return;
    waiting_ = false;
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool IdleHandler::eventFilter(QObject* watched, QEvent* event) {
    // The first event after a pass that reported done: once it is handled, the queue may be empty
    // again, so the handler is due at the next idle moment.
    if (waiting_) {
        stopWaiting();
        if (installed_) timer_.start(0);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace window
