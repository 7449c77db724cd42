// The control behaviours the window relies on and the event-loop glue, on their own.
#include "window/Controls.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <tuple>
#include <vector>

#include "support/WindowFixture.h"
#include "platform/MessageLoop.h"
#include "window/GeneratorStrip.h"
#include "window/MessagePump.h"
#include "window/WindowDesign.h"

namespace {

using window::ControlError;
using window::ScrollBar;
using window_test::handlePendingEvents;
using window_test::waitUntil;

// A scroll bar 0..100 at 0, the stored default of the design, recording every position its
// change handler is run with.
struct RecordedBar {
    RecordedBar() {
        bar.setRange(0, 100);
        bar.setValue(0);
        QObject::connect(&bar, &QScrollBar::valueChanged,
                         [this](int position) { changes.push_back(position); });
    }
    QWidget parent;
    ScrollBar bar{&parent};
    std::vector<int> changes;
};

// --- Scroll bar ---------------------------------------------------------------------------------

TEST(ScrollBar, RaisingTheMinimumPastThePositionClampsAndRunsTheHandlerOnce) {
    RecordedBar r;
    r.bar.setMin(100);
    r.bar.setMax(10000);
    r.bar.setPosition(100);  // already there: no change, no handler
    EXPECT_EQ(r.bar.position(), 100);
    EXPECT_EQ(r.changes, std::vector<int>{100});
}

TEST(ScrollBar, EveryClampRunsTheHandler) {
    RecordedBar r;
    r.bar.setMax(32767);
    r.bar.setPosition(16384);
    r.bar.setMax(328);
    r.bar.setPosition(164);
    r.bar.setPosition(-5);
    EXPECT_EQ(r.changes, (std::vector<int>{16384, 328, 164, 0}));
}

TEST(ScrollBar, InvertedRangeIsRefusedAndChangesNothing) {
    RecordedBar r;
    r.bar.setMin(20);
    r.bar.setMax(100);
    r.changes.clear();

    try {
        r.bar.setMax(19);
        FAIL() << "a maximum below the minimum was accepted";
    } catch (const ControlError& e) {
        EXPECT_STREQ(e.what(), "Scrollbar property out of range");
    }
    EXPECT_THROW(r.bar.setMin(101), ControlError);

    EXPECT_EQ(r.bar.minimum(), 20);
    EXPECT_EQ(r.bar.maximum(), 100);
    EXPECT_EQ(r.bar.position(), 20);
    EXPECT_TRUE(r.changes.empty());
    // The limits themselves may meet.
    EXPECT_NO_THROW(r.bar.setMax(20));
    EXPECT_NO_THROW(r.bar.setMin(20));
}

// --- Scroll bars from the keyboard, in the window

// What the bars' change handlers leave: the read-outs, the generator's values, the time shift and
// the frequency bar's steps.
auto handlerMarks(const app::TForm1& form) {
    const window::Design& d = form.design();
    const instrument::Instrument& s = form.instrument();
    return std::tuple{d.Edit13->text(),           d.Edit14->text(), s.GeneratorAmplitude,
                      s.GeneratorFrequency,       s.ChannelShift,   d.ScrollBar5->largeChange(),
                      d.ScrollBar5->smallChange()};
}

// The scroll bars take the focus by Tab and by a click, and the keys then move them as a desktop
// program's scroll bars move: the arrows by the small change (Left and Up towards the minimum),
// Page Up and Page Down by the large change, Home and End to the ends. Each move runs the bar's
// change handler: the window ends as one whose bar was set to the same position by program.
TEST(ScrollBarKeys, TabAndClickGiveTheFocusAndTheKeysMoveTheBarsAndRunTheirHandlers) {
    window_test::WindowOnSimCard w, reference;
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    const window::Design& d = w.form->design();
    const window::Design& r = reference.form->design();
    const std::vector<std::tuple<Qt::Key, int, bool>> keys{
        // key, direction, by the large change
        {Qt::Key_Right, 1, false},   {Qt::Key_Right, 1, false},  {Qt::Key_Left, -1, false},
        {Qt::Key_Down, 1, false},    {Qt::Key_Up, -1, false},    {Qt::Key_PageDown, 1, true},
        {Qt::Key_PageDown, 1, true}, {Qt::Key_PageUp, -1, true}, {Qt::Key_End, 1, true},
        {Qt::Key_Home, -1, true}};
    // The bar, the same one in the reference window, in the generator's group, reached by a click.
    const std::vector<std::tuple<ScrollBar*, ScrollBar*, bool, bool>> bars{
        {d.ScrollBar3, r.ScrollBar3, false, false},
        {d.ScrollBar4, r.ScrollBar4, true, false},
        {d.ScrollBar5, r.ScrollBar5, true, true},
        {d.ScrollBar3, r.ScrollBar3, false, true}};
    for (const auto& [bar, same, generator, byClick] : bars) {
        SCOPED_TRACE(bar->objectName().toStdString() + (byClick ? " clicked" : " by Tab"));
        d.strip->showGenerator(generator);
        d.Edit4->setFocus();  // the top row's first read-out
        if (byClick) window_test::click(bar);
        for (int i = 0; i < 60 && !byClick && !bar->hasFocus(); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), bar);

        const QImage focused = bar->grab().toImage();
        for (const auto& [key, direction, large] : keys) {
            const int step = key == Qt::Key_End || key == Qt::Key_Home ? bar->maximum()
                             : large                                   ? bar->largeChange()
                                                                       : bar->smallChange();
            const int expected =
                std::clamp(bar->position() + direction * step, bar->minimum(), bar->maximum());
            QTest::keyClick(QApplication::focusWidget(), key);
            EXPECT_EQ(bar->position(), expected) << QTest::toString(key);
            same->setPosition(expected);
            EXPECT_EQ(handlerMarks(*w.form), handlerMarks(*reference.form)) << QTest::toString(key);
        }
        bar->clearFocus();  // the focus shows: without it the bar looks otherwise
        EXPECT_NE(bar->grab().toImage(), focused);
    }
}

// --- Radio buttons

TEST(RadioButtons, BothCanBeUncheckedFromCodeWithoutRunningClickHandlers) {
    QWidget parent;
    QRadioButton periodic(&parent), single(&parent);
    int clicks = 0;
    for (QRadioButton* b : {&periodic, &single})
        QObject::connect(b, &QRadioButton::clicked, [&clicks] { ++clicks; });
    periodic.setChecked(true);

    window::setChecked(single, false);
    window::setChecked(periodic, false);
    EXPECT_FALSE(periodic.isChecked());
    EXPECT_FALSE(single.isChecked());
    window::setChecked(single, true);
    EXPECT_TRUE(single.isChecked());
    window::setChecked(periodic, true);
    EXPECT_FALSE(single.isChecked()) << "checking one from code still unchecks the other";
    EXPECT_EQ(clicks, 0);

    // Unchecking from code leaves the pair exclusive for the user.
    window::setChecked(periodic, false);
    single.click();
    periodic.click();
    EXPECT_TRUE(periodic.isChecked());
    EXPECT_FALSE(single.isChecked());
    EXPECT_EQ(clicks, 2);
}

// --- Lists

TEST(SelectItem, ShowsTheItemAgainOverWhatTheUserTypedAndRunsNoClickHandler) {
    QWidget parent;
    QComboBox list(&parent);
    list.setEditable(true);
    list.setInsertPolicy(QComboBox::NoInsert);
    list.addItems({QStringLiteral("automaticky"), QStringLiteral("od kanálu L"),
                   QStringLiteral("od kanálu R")});
    int clicks = 0;
    QObject::connect(&list, &QComboBox::activated, [&clicks] { ++clicks; });
    window::selectItem(list, 2);
    ASSERT_EQ(list.currentText(), QStringLiteral("od kanálu R"));

    QTest::keyClicks(list.lineEdit(), QStringLiteral("xyz"));
    ASSERT_NE(list.currentText(), QStringLiteral("od kanálu R"));
    ASSERT_EQ(list.currentIndex(), 2) << "typing does not change the selected item";

    window::selectItem(list, 2);
    EXPECT_EQ(list.currentText(), QStringLiteral("od kanálu R"));
    window::selectItem(list, -1);
    window::selectItem(list, -1);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(clicks, 0);
}

// --- Message pump and idle handler

struct CountingTarget final : platform::MessageTarget {
    void handleMessage(uint32_t message, uintptr_t, uintptr_t) override {
        received.push_back(message);
    }
    std::vector<uint32_t> received;
};

TEST(MessagePump, DispatchesPostedMessagesFromTheEventLoop) {
    platform::MessageLoop loop;
    CountingTarget target;
    const platform::TargetId id = loop.registerTarget(&target);
    QObject owner;
    new window::MessagePump(loop, &owner);

    loop.post(id, 7);
    loop.post(id, 8);
    EXPECT_TRUE(waitUntil([&] { return target.received.size() == 2; }));
    EXPECT_EQ(target.received, (std::vector<uint32_t>{7, 8}));
    loop.unregisterTarget(id);
}

TEST(IdleHandler, RunsAgainAndAgainWhileNotDone) {
    int passes = 0;
    QObject owner;
    auto* idle = new window::IdleHandler(
        [&](bool& done) {
            ++passes;
            done = false;
        },
        &owner);
    handlePendingEvents();
    EXPECT_EQ(passes, 0) << "runs only once installed";
    idle->install();
    EXPECT_TRUE(waitUntil([&] { return passes >= 50; }));
    idle->remove();
    const int removedAt = passes;
    handlePendingEvents();
    EXPECT_EQ(passes, removedAt);
}

TEST(IdleHandler, AfterDoneWaitsForTheNextEvent) {
    int passes = 0;
    QObject owner;
    auto* idle = new window::IdleHandler(
        [&](bool& done) {
            ++passes;
            done = true;
        },
        &owner);
    idle->install();
    EXPECT_TRUE(waitUntil([&] { return passes >= 1; }));
    handlePendingEvents();  // nothing new happens: no further pass
    EXPECT_EQ(passes, 1);
    QTimer::singleShot(0, &owner, [] {});  // any event
    EXPECT_TRUE(waitUntil([&] { return passes == 2; }));
}

}  // namespace
