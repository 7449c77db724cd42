#include "window/GeneratorStrip.h"

#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>

#include "window/Controls.h"
#include "window/WindowDesign.h"

namespace window {

namespace {

// At the strip's right end, level with the generator's row. F2 is no key of the edit fields or
// the lists (F4 opens a list), so it works whichever control has the focus.
constexpr QRect kToggleBounds(777, 4, 21, 21);
constexpr int kToggleGap = 1;  // between the toggle and the controls left of it
constexpr Qt::Key kToggleKey = Qt::Key_F2;

// Makes `control` end just left of x = `right`; its left edge stays.
void endBefore(QWidget& control, int right) {
    control.resize(right - control.x(), control.height());
}

// Moves `control` sideways so that it ends just left of x = `right`.
void moveToEndBefore(QWidget& control, int right) {
    control.move(right - control.width(), control.y());
}

// Every generator control keeps its designed width, so that the lists show their items and the
// read-outs their texts whole. Where the designed row has an edit box partly under the list
// beside it, the edit box moves clear of it; the room for the toggle and for Edit14 comes from the
// frequency bar, the widest control next to them. The time shift's bar ends before the toggle.
void layOutStrip(Design& d) {
    const int toggleLeft = kToggleBounds.left() - kToggleGap;
    endBefore(*d.ScrollBar3, toggleLeft);
    d.Edit13->move(d.ComboBox7->geometry().right() + 1, d.Edit13->y());
    moveToEndBefore(*d.ComboBox8, toggleLeft);
    moveToEndBefore(*d.Edit14, d.ComboBox8->x());
    endBefore(*d.ScrollBar5, d.Edit14->x());
}

}  // namespace

GeneratorStrip::GeneratorStrip(QWidget& window, Design& d)
    : QObject(&window),
      generator_{d.ComboBox7, d.Edit13, d.ScrollBar4, d.ScrollBar5, d.Edit14, d.ComboBox8},
      timeShift_{d.Panel10, d.ScrollBar3} {
    layOutStrip(d);

    toggle_ = new QToolButton(d.Panel13);
    toggle_->setObjectName(QStringLiteral("GeneratorToggle"));
    toggle_->setGeometry(kToggleBounds);
    toggle_->setCheckable(true);  // pressed while the generator shows
    toggle_->raise();
    // A click has already toggled the button: the strip follows it.
    connect(toggle_, &QToolButton::clicked, this, [this](bool checked) { showGenerator(checked); });

    auto* key = new QShortcut(QKeySequence(kToggleKey), &window);
    key->setObjectName(QStringLiteral("GeneratorKey"));
    connect(key, &QShortcut::activated, this, [this] { showGenerator(!generatorShown_); });

    d.generatorToggle = toggle_;
    d.generatorKey = key;
    showGenerator(false);
}

void GeneratorStrip::showGenerator(bool shown) {
    generatorShown_ = shown;
    // The group coming into view is shown first, so that focus leaving a hidden control can move
    // into it.
    auto setVisible = [](const auto& group, bool visible) {
        for (QWidget* control : group) control->setVisible(visible);
    };
    if (shown) {
        setVisible(generator_, true);
        setVisible(timeShift_, false);
    } else {
        setVisible(timeShift_, true);
        setVisible(generator_, false);
    }

    const QString key = QKeySequence(kToggleKey).toString(QKeySequence::NativeText);
    toggle_->setChecked(shown);
    toggle_->setText(shown ? QStringLiteral("Δt") : QStringLiteral("G"));
    toggle_->setToolTip(shown ? QStringLiteral("přepnout na časový posun signálů (%1)").arg(key)
                              : QStringLiteral("přepnout na ovládání generátoru (%1)").arg(key));
}

}  // namespace window
