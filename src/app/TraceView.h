// The measurement window's view of one channel's trace (instrument::drawMeasuredTrace), drawn on
// a screen image of its own, kept from one capture to the next, so that a redraw allocates
// nothing; the widget copies its part of the image to the window.
#pragma once

#include <QWidget>

#include "instrument/MeasuredTrace.h"
#include "window/ScreenCanvas.h"

namespace app {

class TraceView final : public QWidget {
  public:
    TraceView(int width, int height, QWidget* parent);

    // Draws `input` and repaints.
    void draw(const instrument::TraceInput& input);
    const instrument::TraceMarks& marks() const { return marks_; }
    // The picture as drawn: its client part is what the widget shows.
    const QImage& image() const { return canvas_.image(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    window::ScreenCanvas canvas_;
    instrument::TraceMarks marks_;
};

}  // namespace app
