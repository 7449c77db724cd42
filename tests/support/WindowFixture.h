// The real main window on the simulated card's manual clock, and what a user does to it.
#pragma once

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <QTest>
#include <chrono>
#include <memory>
#include <ostream>

#include "app/TForm1.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SignalSource.h"
#include "platform/sim/SimCard.h"
#include "platform/sim/SimMixer.h"

// Texts in failure messages, as UTF-8.
inline std::ostream& operator<<(std::ostream& os, const QString& text) {
    return os << '"' << text.toStdString() << '"';
}

namespace window_test {

// One capture buffer of the instrument (0.25 s of stereo frames): what a headless pass lets pass.
inline constexpr uint64_t kBufferFrames = instrument::kCaptureBufferFrames;
inline constexpr auto kBufferTime =
    std::chrono::microseconds(kBufferFrames * 1'000'000 / instrument::kCaptureFrameRate);

class WindowOnSimCard {
  public:
    explicit WindowOnSimCard(std::unique_ptr<platform::sim::StereoSource> source = nullptr,
                             app::IdleDriving idle = app::IdleDriving::Caller) {
        if (source) card.setSource(std::move(source));
        form = std::make_unique<app::TForm1>(
            app::Backend{card, loop, mixer, [this] { return now; }}, idle);
        form->showWindow();
    }

    // One headless pass: messages dispatched, MyIdleEvent once, then one buffer's time passes on
    // the card and on the clock that paces a failing device's opens.
    void pass() {
        form->idlePass();
        card.advance(kBufferFrames);
        now += kBufferTime;
    }
    void passes(int count) {
        for (int i = 0; i < count; ++i) pass();
    }

    template <typename Widget>
    Widget* find(const char* name) const {
        return form->findChild<Widget*>(QString::fromLatin1(name));
    }

    platform::MessageLoop loop;
    platform::sim::SimCard card{platform::sim::SimClock::Manual};
    platform::sim::SimMixer mixer;
    instrument::TimePoint now{};
    std::unique_ptr<app::TForm1> form;
};

// Picks an item of a list as the user does with the keyboard: F4 opens the list, the arrow keys
// move to the item and Enter takes it. The list's click handler runs once, also when the item was
// chosen already.
inline void choose(QComboBox* list, int item) {
    QTest::keyClick(list, Qt::Key_F4);
    QAbstractItemView* items = list->view();
    QTest::keyClick(items, Qt::Key_Home);
    for (int i = 0; i < item; ++i) QTest::keyClick(items, Qt::Key_Down);
    QTest::keyClick(items, Qt::Key_Return);
}

// Clicks a control in its middle with the left mouse button.
inline void click(QWidget* control) {
    QTest::mouseClick(control, Qt::LeftButton);
}

// Clicks an entry of the window's menu bar; an entry of one of its menus is reached by clicking the
// menu's title first.
inline void clickMenuEntry(const app::TForm1& form, QAction* entry, QMenu* menu = nullptr) {
    QMenuBar* bar = form.menuBar();
    if (menu == nullptr) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(entry).center());
        return;
    }
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
}

// Lets the event loop run until `done` holds, for at most `timeoutMs`; returns `done()`.
template <typename Condition>
bool waitUntil(Condition done, int timeoutMs = 2000) {
    return QTest::qWaitFor(done, timeoutMs);
}

// Handles the events that are pending, due timers among them, and those they post in turn, for a
// few rounds, without waiting for more: for checking that something does not happen.
inline void handlePendingEvents() {
    constexpr int kRounds = 10;
    for (int round = 0; round < kRounds; ++round) QCoreApplication::processEvents();
}

}  // namespace window_test
