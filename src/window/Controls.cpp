#include "window/Controls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QRadioButton>
#include <QResizeEvent>

namespace window {

ScrollBar::ScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {}

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
    if (OnResize) OnResize(event->size().width(), event->size().height());
}

}  // namespace window
