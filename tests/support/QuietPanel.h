// A front panel that keeps the texts in fixed buffers and draws nowhere: it never allocates, so
// allocation counts and timings taken around the instrument's routines are the instrument's own.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "instrument/FrontPanel.h"

namespace testing_support {

class QuietPanel final : public instrument::FrontPanel, public instrument::Canvas {
  public:
    void setText(instrument::Control control, std::string_view text) override {
        auto& slot = texts_[static_cast<size_t>(control)];
        const size_t n = std::min(text.size(), slot.size() - 1);
        std::memcpy(slot.data(), text.data(), n);
        slot[n] = '\0';
    }
    std::string_view text(instrument::Control control) const {
        return texts_[static_cast<size_t>(control)].data();
    }
    void setVisible(instrument::Control, bool) override {}
    int itemIndex(instrument::Control) const override { return 0; }
    void setItemIndex(instrument::Control, int) override {}
    void setChecked(instrument::Control, bool) override {}
    int position(instrument::Control) const override { return 50; }
    void setMinimum(instrument::Control, int) override {}
    void setMaximum(instrument::Control, int) override {}
    void setPosition(instrument::Control, int) override {}
    void setLargeChange(instrument::Control, int) override {}
    void setSmallChange(instrument::Control, int) override {}
    void repaintWindow() override {}
    instrument::Canvas& canvas() override { return *this; }

    void setPenColor(instrument::Rgb) override {}
    void setFontColor(instrument::Rgb) override {}
    void moveTo(int, int) override {}
    void lineTo(int, int) override {}
    void textOut(int, int, std::string_view) override {}
    int clientWidth() const override { return 792; }
    int clientHeight() const override { return 526; }

  private:
    std::array<std::array<char, 64>, instrument::kControlCount> texts_{};
};

}  // namespace testing_support
