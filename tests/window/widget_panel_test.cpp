// The front panel over the window's widgets, in the real window on the simulated card.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryFile>
#include <cstdio>
#include <functional>
#include <set>
#include <vector>

#include "support/WindowFixture.h"
#include "window/Controls.h"
#include "window/ScreenCanvas.h"
#include "window/WidgetPanel.h"
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

namespace {

using instrument::Control;
using instrument::FrontPanel;

// The design and a front panel over it, with no handler but a count of the amplitude bar's
// position changes.
struct BarPanel {
    QMainWindow window;
    window::ScreenCanvas screen;
    window::Design design = window::buildDesign(window, screen.image());
    window::WidgetPanel panel{design, screen};
    int changes = 0;
    BarPanel() {
        QObject::connect(design.ScrollBar4, &QScrollBar::valueChanged, [this] { ++changes; });
    }
};

struct BarCase {
    const char* what;
    std::function<void(FrontPanel&)> set;
    int minimum, maximum, position;
    int changes;  // of the position, each of which runs the change handler
    bool refused;
};

// Each setting of a bar through the panel clamps the position into the range and runs the change
// handler once for a move and not at all without one; an inverted range is refused, changing
// nothing. ScrollBar4 is designed 0..1000 at 500.
TEST(WidgetPanel, ScrollBarLimitsAndPositionClampAndRunTheHandlerOnAMove) {
    constexpr Control kBar = Control::ScrollBar4;
    const std::vector<BarCase> cases{
        {"minimum above the position", [](FrontPanel& p) { p.setMinimum(kBar, 600); }, 600, 1000,
         600, 1, false},
        {"maximum below the position", [](FrontPanel& p) { p.setMaximum(kBar, 200); }, 0, 200, 200,
         1, false},
        {"minimum below the position", [](FrontPanel& p) { p.setMinimum(kBar, 100); }, 100, 1000,
         500, 0, false},
        {"the same position", [](FrontPanel& p) { p.setPosition(kBar, 500); }, 0, 1000, 500, 0,
         false},
        {"a position past the end", [](FrontPanel& p) { p.setPosition(kBar, 2000); }, 0, 1000, 1000,
         1, false},
        {"maximum below the minimum", [](FrontPanel& p) { p.setMaximum(kBar, -1); }, 0, 1000, 500,
         0, true},
        {"minimum above the maximum", [](FrontPanel& p) { p.setMinimum(kBar, 1001); }, 0, 1000, 500,
         0, true},
    };
    for (const BarCase& c : cases) {
        SCOPED_TRACE(c.what);
        BarPanel b;
        if (c.refused) {
            EXPECT_THROW(
                {
                    try {
                        c.set(b.panel);
                    } catch (const window::ControlError& e) {
                        EXPECT_STREQ(e.what(), "Scrollbar property out of range");
                        throw;
                    }
                },
                window::ControlError);
        } else {
            c.set(b.panel);
        }
        EXPECT_EQ(b.design.ScrollBar4->minimum(), c.minimum);
        EXPECT_EQ(b.design.ScrollBar4->maximum(), c.maximum);
        EXPECT_EQ(b.panel.position(kBar), c.position);
        EXPECT_EQ(b.changes, c.changes);
    }
}

// The steps reach the bar, and every bar setting is in the fingerprint of the panel's writes,
// which tells a minimum, a maximum, a position and the two steps of one value apart.
TEST(WidgetPanel, ScrollBarStepsAndEachSettingOfTheFingerprint) {
    BarPanel b;
    b.panel.setLargeChange(Control::ScrollBar5, 7);
    b.panel.setSmallChange(Control::ScrollBar5, 3);
    EXPECT_EQ(b.design.ScrollBar5->largeChange(), 7);
    EXPECT_EQ(b.design.ScrollBar5->smallChange(), 3);

    const std::vector<std::function<void(FrontPanel&)>> settings{
        [](FrontPanel& p) { p.setMinimum(Control::ScrollBar5, 50); },
        [](FrontPanel& p) { p.setMaximum(Control::ScrollBar5, 50); },
        [](FrontPanel& p) { p.setPosition(Control::ScrollBar5, 50); },
        [](FrontPanel& p) { p.setLargeChange(Control::ScrollBar5, 50); },
        [](FrontPanel& p) { p.setSmallChange(Control::ScrollBar5, 50); },
        [](FrontPanel& p) { p.setSmallChange(Control::ScrollBar4, 50); },
    };
    std::set<uint64_t> fingerprints{b.panel.takeWrites(), BarPanel{}.panel.takeWrites()};
    ASSERT_EQ(fingerprints.size(), 2u) << "the steps set above are in the fingerprint";
    for (const auto& set : settings) {
        BarPanel once;
        set(once.panel);
        fingerprints.insert(once.panel.takeWrites());
    }
    EXPECT_EQ(fingerprints.size(), 2 + settings.size());
}

}  // namespace
