// The front panel over the window's widgets, in the real window on the simulated card.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryFile>
#include <cstdio>
#include <functional>

#include "WindowFixture.h"
#include "window/WindowDesign.h"

namespace {

using platform::Direction;

// What `body` writes to stderr.
QByteArray stderrOf(const std::function<void()>& body) {
    QTemporaryFile file;
    file.open();
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    body();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

// A failing device is named on stderr as over the screen, once for each time it starts failing:
// not at every retry, not when the reason changes meanwhile (the run's end, then the refused
// opens), and not again for a device already named when another one fails too.
TEST(DeviceNotice, EachFailureIsOneLineOnStderr) {
    window_test::WindowOnSimCard w;
    const QLabel& notice = *w.form->design().DeviceNotice;
    auto fail = [&](Direction direction, bool failing) {
        if (failing) w.card.failDevice(direction);
        w.card.setBusy(direction, failing);
    };
    const QByteArray said = stderrOf([&] {
        w.passes(2);
        fail(Direction::Capture, true);
        w.passes(12);  // six retries
        ASSERT_TRUE(notice.isVisible());
        fail(Direction::Playback, true);
        w.passes(12);
        fail(Direction::Capture, false);
        fail(Direction::Playback, false);
        w.passes(4);
        ASSERT_FALSE(notice.isVisible()) << notice.text().toStdString();
        fail(Direction::Capture, true);
        w.passes(8);
    });
    EXPECT_EQ(said.count("soundscope: Zařízení pro záznam „simulated card“ není dostupné: "), 2)
        << said.toStdString();
    EXPECT_EQ(said.count("soundscope: Zařízení pro přehrávání „simulated card“ není dostupné: "), 1)
        << said.toStdString();
    EXPECT_EQ(said.count("soundscope: "), 3) << said.toStdString();
}

}  // namespace

namespace {

// Every control of the front panel's table is the window's widget of that name and kind, and the
// panel reads that widget for it.
TEST(WidgetPanel, EachControlOfTheTableIsTheDesignsWidgetOfThatNameAndKind) {
    window_test::WindowOnSimCard w;
    using instrument::ControlKind;
    for (const instrument::ControlInfo& c : instrument::kControls) {
        const QString name =
            QString::fromLatin1(c.name.data(), static_cast<qsizetype>(c.name.size()));
        auto* widget = w.form->findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr) << name;
        const bool kindMatches =
            (c.kind == ControlKind::Edit && qobject_cast<QLineEdit*>(widget)) ||
            (c.kind == ControlKind::Label && qobject_cast<QLabel*>(widget)) ||
            (c.kind == ControlKind::List && qobject_cast<QComboBox*>(widget)) ||
            (c.kind == ControlKind::Radio && qobject_cast<QRadioButton*>(widget)) ||
            (c.kind == ControlKind::ScrollBar && qobject_cast<QScrollBar*>(widget));
        EXPECT_TRUE(kindMatches) << name;
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(name);
            EXPECT_EQ(w.form->controls().controlText(c.control), name);
        }
    }
}

}  // namespace
