#include "window/WidgetPanel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <span>

#include "window/Controls.h"

namespace window {

using instrument::Control;

namespace {

constexpr uint64_t kRepaintMark = ~uint64_t{0};  // no control's value

}  // namespace

WidgetPanel::WidgetPanel(const Design& design, ScreenCanvas& screen)
    : ui_(design),
      screen_(screen),
      widgets_{
#define SOUNDSCOPE_PANEL_WIDGET(name, kind, reported, what) design.name,
          SOUNDSCOPE_FRONT_PANEL(SOUNDSCOPE_PANEL_WIDGET)
#undef SOUNDSCOPE_PANEL_WIDGET
      } {
}

QWidget* WidgetPanel::widget(Control control) const {
    return widgets_[static_cast<size_t>(control)];
}

void WidgetPanel::record(Control control, uint64_t value) {
    writes_.addValue(static_cast<int>(control));
    writes_.add(value);
}

uint64_t WidgetPanel::takeWrites() {
    const uint64_t value = writes_.value();
    writes_ = {};
    return value;
}

void WidgetPanel::setText(Control control, std::string_view text) {
    record(control, text.size());
    writes_.add(std::as_bytes(std::span(text)));
    const QUtf8StringView wanted(text.data(), static_cast<qsizetype>(text.size()));
    QWidget* w = widget(control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (QAnyStringView::equal(edit->text(), wanted)) return;
        edit->setText(wanted.toString());
        edit->setCursorPosition(0);  // show the start of a text longer than the field
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (QAnyStringView::equal(label->text(), wanted)) return;
        label->setText(wanted.toString());
        // A wrapping label keeps its top and width and takes the height of its lines.
        if (label->wordWrap()) label->resize(label->width(), label->heightForWidth(label->width()));
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
        if (QAnyStringView::equal(list->currentText(), wanted)) return;
        if (list->isEditable()) list->setEditText(wanted.toString());
    }
}

QString WidgetPanel::controlText(Control control) const {
    QWidget* w = widget(control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    return {};
}

void WidgetPanel::setVisible(Control control, bool visible) {
    record(control, visible ? 1 : 0);
    QWidget* w = widget(control);
    if (w != nullptr && w->isHidden() == visible) w->setVisible(visible);
}

int WidgetPanel::itemIndex(Control list) const {
    auto* combo = qobject_cast<QComboBox*>(widget(list));
    return combo != nullptr ? combo->currentIndex() : -1;
}

void WidgetPanel::setItemIndex(Control list, int index) {
    record(list, static_cast<uint64_t>(index));
    if (auto* combo = qobject_cast<QComboBox*>(widget(list))) selectItem(*combo, index);
}

void WidgetPanel::setChecked(Control button, bool checked) {
    record(button, checked ? 1 : 0);
    if (auto* radio = qobject_cast<QRadioButton*>(widget(button)))
        window::setChecked(*radio, checked);
}

int WidgetPanel::position(Control scrollBar) const {
    auto* bar = qobject_cast<QScrollBar*>(widget(scrollBar));
    return bar != nullptr ? bar->value() : 0;
}

ScrollBar* WidgetPanel::scrollBar(Control control) const {
    return qobject_cast<ScrollBar*>(widget(control));
}

// Recorded before the bar moves, so that the writes of the change handler that a move runs
// follow it; the setting is recorded too, as a minimum and a maximum of one value differ.
void WidgetPanel::setBar(Control control, BarSetting setting, int value) {
    record(control, static_cast<uint64_t>(setting));
    writes_.addValue(value);
    ScrollBar* bar = scrollBar(control);
    if (bar == nullptr) return;
    switch (setting) {
        case BarSetting::Minimum:
            bar->setMin(value);
            break;
        case BarSetting::Maximum:
            bar->setMax(value);
            break;
        case BarSetting::Position:
            bar->setPosition(value);
            break;
        case BarSetting::LargeChange:
            bar->setLargeChange(value);
            break;
        case BarSetting::SmallChange:
            bar->setSmallChange(value);
            break;
    }
}

void WidgetPanel::repaintWindow() {
    writes_.add(kRepaintMark);
    screen_.clear();
    ui_.client->update();
}

}  // namespace window
