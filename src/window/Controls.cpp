#include "window/Controls.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRadioButton>
#include <QResizeEvent>
#include <QStyleOptionSlider>

namespace window {

namespace {

constexpr int kFocusInset = 2;  // the focus frame inside a scroll bar's thumb

}  // namespace

ScrollBar::ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void ScrollBar::keyPressEvent(QKeyEvent* event) {
    // A QScrollBar inverts its keys for the wheel's sake, so that Right would move towards the
    // minimum; a desktop scroll bar moves left or up (and back a page) towards the minimum.
    const bool leftToRight = !isRightToLeft();
    SliderAction action = SliderNoAction;
    switch (event->key()) {
        case Qt::Key_Left:
            action = leftToRight ? SliderSingleStepSub : SliderSingleStepAdd;
            break;
        case Qt::Key_Right:
            action = leftToRight ? SliderSingleStepAdd : SliderSingleStepSub;
            break;
        case Qt::Key_Up:
            action = SliderSingleStepSub;
            break;
        case Qt::Key_Down:
            action = SliderSingleStepAdd;
            break;
        case Qt::Key_PageUp:
            action = SliderPageStepSub;
            break;
        case Qt::Key_PageDown:
            action = SliderPageStepAdd;
            break;
        case Qt::Key_Home:
            action = SliderToMinimum;
            break;
        case Qt::Key_End:
            action = SliderToMaximum;
            break;
        default:
            QScrollBar::keyPressEvent(event);  // Tab, Enter and the window's keys go on
            return;
    }
    triggerAction(action);  // moves the position, which runs the change handler
    event->accept();
}

void ScrollBar::setMin(int value) {
    if (value > maximum()) throw ControlError(kScrollBarRangeError);
    setMinimum(value);  // emits valueChanged when the position is clamped
}

void ScrollBar::setMax(int value) {
    if (value < minimum()) throw ControlError(kScrollBarRangeError);
    setMaximum(value);
}

void ScrollBar::setPosition(int value) {
    setValue(value);
}

void ScrollBar::paintEvent(QPaintEvent* event) {
    QScrollBar::paintEvent(event);
    if (!hasFocus()) return;
    // Styles such as Fusion draw no focus on a scroll bar: without a mark the keys would move a
    // bar the user cannot see is meant. A dotted frame inside the thumb, in the text colour.
    QStyleOptionSlider bar;
    initStyleOption(&bar);
    const QRect thumb =
        style()->subControlRect(QStyle::CC_ScrollBar, &bar, QStyle::SC_ScrollBarSlider, this);
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), 1, Qt::DotLine));
    painter.drawRect(thumb.adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
}

void setChecked(QRadioButton& button, bool checked) {
    if (button.isChecked() == checked) return;
    // An auto-exclusive button refuses to be unchecked while it is the group's checked one.
    const bool exclusive = button.autoExclusive();
    if (!checked && exclusive) button.setAutoExclusive(false);
    button.setChecked(checked);
    if (!checked && exclusive) button.setAutoExclusive(true);
}

void selectItem(QComboBox& list, int index) {
    if (list.currentIndex() != index) {
        list.setCurrentIndex(index);
        return;
    }
    // The item is selected already, but the user may have typed over its text in the edit field:
    // selecting it shows the item's text again.
    if (!list.isEditable() || index < 0) return;
    const QString item = list.itemText(index);
    if (list.currentText() == item) return;
    list.setEditText(item);
    list.lineEdit()->setCursorPosition(0);
}

CanvasView::CanvasView(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    // Every pixel comes from the image (black where it does not reach), so nothing need be erased
    // beforehand.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CanvasView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.drawImage(exposed.topLeft(), image_, exposed);
    // Parts of the view the image does not cover (before a resize has caught up) are black.
    const QRegion uncovered = QRegion(exposed) - QRegion(image_.rect());
    for (const QRect& r : uncovered) painter.fillRect(r, Qt::black);
}

void CanvasView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (onResize) onResize(event->size().width(), event->size().height());
}

}  // namespace window
