// The real main window on the simulated card's manual clock, and what a user does to it.
#pragma once

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>
#include <ostream>

#include "app/TForm1.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SignalSource.h"
#include "platform/sim/SimCard.h"

// Texts in failure messages, as UTF-8.
inline std::ostream& operator<<(std::ostream& os, const QString& text) {
    return os << '"' << text.toStdString() << '"';
}

namespace window_test {

// One capture buffer of the instrument: 0.25 s of stereo frames.
inline constexpr uint64_t kBufferFrames = 11025;

class WindowOnSimCard {
  public:
    explicit WindowOnSimCard(std::unique_ptr<platform::sim::StereoSource> source = nullptr,
                             app::IdleDriving idle = app::IdleDriving::Caller) {
        if (source) card.setSource(std::move(source));
        form = std::make_unique<app::TForm1>(app::Platform{card, loop}, idle);
        form->show();
    }

    // One headless pass: messages dispatched, MyIdleEvent once, then one buffer's time passes.
    void pass() {
        form->idlePass();
        card.advance(kBufferFrames);
    }
    void passes(int count) {
        for (int i = 0; i < count; ++i) pass();
    }

    template <typename Widget>
    Widget* find(const char* name) const {
        return form->findChild<Widget*>(QString::fromLatin1(name));
    }

    platform::MessageLoop loop;
    platform::sim::SimCard card{platform::sim::Clock::Manual};
    std::unique_ptr<app::TForm1> form;
};

// Picks an item of a list as the user does: the selection changes and the click handler runs.
inline void choose(QComboBox* list, int item) {
    list->setCurrentIndex(item);
    emit list->activated(item);
}

// Lets the event loop run until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

inline void processEventsFor(int ms) {
    processEventsUntil([] { return false; }, ms);
}

}  // namespace window_test
