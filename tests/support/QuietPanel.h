// A front panel that keeps the texts in fixed buffers and draws nowhere: it never allocates, so
// allocation counts and timings taken around the instrument's routines are the instrument's own.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "scope/FrontPanel.h"

namespace testing_support {

class QuietPanel final : public scope::FrontPanel, public scope::Canvas {
  public:
    void setText(scope::Control control, std::string_view text) override {
        auto& slot = texts_[static_cast<size_t>(control)];
        const size_t n = std::min(text.size(), slot.size() - 1);
        std::memcpy(slot.data(), text.data(), n);
        slot[n] = '\0';
    }
    std::string_view text(scope::Control control) const {
        return texts_[static_cast<size_t>(control)].data();
    }
    void setVisible(scope::Control, bool) override {}
    int itemIndex(scope::Control) const override { return 0; }
    void setItemIndex(scope::Control, int) override {}
    void setChecked(scope::Control, bool) override {}
    int position(scope::Control) const override { return 50; }
    void repaintWindow() override {}
    scope::Canvas& canvas() override { return *this; }

    void setPenColor(scope::Rgb) override {}
    void setPenWidth(int) override {}
    void setFontColor(scope::Rgb) override {}
    void moveTo(int, int) override {}
    void lineTo(int, int) override {}
    void textOut(int, int, std::string_view) override {}
    int clientWidth() const override { return 792; }
    int clientHeight() const override { return 526; }

  private:
    static constexpr size_t kControls = static_cast<size_t>(scope::Control::ScrollBar3) + 1;
    std::array<std::array<char, 64>, kControls> texts_{};
};

}  // namespace testing_support
