#include "app/TraceView.h"

#include <QPainter>

namespace app {

TraceView::TraceView(int width, int height, QWidget* parent)
    : QWidget(parent), canvas_(width, height) {
    setFixedSize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TraceView::draw(const instrument::TraceInput& input) {
    marks_ = instrument::drawMeasuredTrace(canvas_, input);
    update();
}

void TraceView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), canvas_.image(), QRect(0, 0, width(), height()));
}

}  // namespace app
