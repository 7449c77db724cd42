// The two ties between the window's event loop and the instrument:
// - MessagePump dispatches the platform's driver messages on the UI thread as soon as any are
//   pending, watching the message loop's wake descriptor.
// - IdleHandler calls the application's idle handler whenever the event queue is empty, again and
//   again while the handler reports that it is not done; never while a modal window is open.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>

#include "platform/MessageLoop.h"

namespace window {

class MessagePump final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessagePump)

  public:
    MessagePump(platform::MessageLoop& loop, QObject* parent);

  private:
    platform::MessageLoop& loop_;
    QSocketNotifier notifier_;
};

class IdleHandler final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IdleHandler)

  public:
    // The handler sets `done`: false asks to be called again as soon as the queue is empty, true
    // to wait until another event has been handled.
    using Handler = std::function<void(bool& done)>;

    IdleHandler(Handler handler, QObject* parent);
    ~IdleHandler() override;

    void install();
    void remove();
    bool installed() const { return installed_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void onIdle();
    void waitForEvent();
    void stopWaiting();

    Handler handler_;
    QTimer timer_;
    bool installed_ = false;
    bool waiting_ = false;  // done was reported; the next event re-arms the timer
};

}  // namespace window
