// A front panel that draws on a canvas it is given: list items kept as the routines set them, bars
// at the designed position 50, texts and the rest dropped, repaints counted (and, when a test asks,
// acted on). For drawing the instrument's screen on a real canvas without the window.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>

#include "instrument/FrontPanel.h"

namespace testing_support {

class CanvasPanel final : public instrument::FrontPanel {
  public:
    explicit CanvasPanel(instrument::Canvas& canvas, std::function<void()> onRepaint = {})
        : canvas_(canvas), onRepaint_(std::move(onRepaint)) {}
    void setText(instrument::Control, std::string_view) override {}
    void setVisible(instrument::Control, bool) override {}
    int itemIndex(instrument::Control c) const override { return items_[static_cast<size_t>(c)]; }
    void setItemIndex(instrument::Control c, int i) override { items_[static_cast<size_t>(c)] = i; }
    void setChecked(instrument::Control, bool) override {}
    int position(instrument::Control) const override { return 50; }
    void setMinimum(instrument::Control, int) override {}
    void setMaximum(instrument::Control, int) override {}
    void setPosition(instrument::Control, int) override {}
    void setLargeChange(instrument::Control, int) override {}
    void setSmallChange(instrument::Control, int) override {}
    void repaintWindow() override {
        ++repaints;
        if (onRepaint_) onRepaint_();
    }
    instrument::Canvas& canvas() override { return canvas_; }

    int repaints = 0;

  private:
    instrument::Canvas& canvas_;
    std::function<void()> onRepaint_;
    std::array<int, instrument::kControlCount> items_{};
};

}  // namespace testing_support
