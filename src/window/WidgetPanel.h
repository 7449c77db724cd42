// The front panel over the window's widgets and its screen: what the instrument's routines set
// and read, done on the controls of the design. Setting a text that is already shown allocates
// nothing.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string_view>

#include "instrument/Fingerprint.h"
#include "instrument/FrontPanel.h"
#include "window/ScreenCanvas.h"
#include "window/WindowDesign.h"

class QWidget;

namespace window {

class WidgetPanel final : public instrument::FrontPanel {
  public:
    // Both must outlive the panel; the design's controls must exist whenever a routine runs.
    WidgetPanel(const Design& design, ScreenCanvas& screen);
    WidgetPanel(const WidgetPanel&) = delete;
    WidgetPanel& operator=(const WidgetPanel&) = delete;

    void setText(instrument::Control control, std::string_view text) override;
    void setVisible(instrument::Control control, bool visible) override;
    int itemIndex(instrument::Control list) const override;
    void setItemIndex(instrument::Control list, int index) override;
    void setChecked(instrument::Control button, bool checked) override;
    int position(instrument::Control scrollBar) const override;
    // An inverted range throws window::ControlError.
    void setMinimum(instrument::Control scrollBar, int value) override {
        setBar(scrollBar, BarSetting::Minimum, value);
    }
    void setMaximum(instrument::Control scrollBar, int value) override {
        setBar(scrollBar, BarSetting::Maximum, value);
    }
    void setPosition(instrument::Control scrollBar, int value) override {
        setBar(scrollBar, BarSetting::Position, value);
    }
    void setLargeChange(instrument::Control scrollBar, int value) override {
        setBar(scrollBar, BarSetting::LargeChange, value);
    }
    void setSmallChange(instrument::Control scrollBar, int value) override {
        setBar(scrollBar, BarSetting::SmallChange, value);
    }
    void repaintWindow() override;
    instrument::Canvas& canvas() override { return screen_; }

    // What a read-out, list or button shows, as the user reads it.
    QString controlText(instrument::Control control) const;

    // The fingerprint of every text, visibility, item, check, bar setting and repaint the routines
    // have set
    // since the last call, in order and whether or not the control changed; starts anew. Two runs
    // of routines that set the same things leave the controls alike.
    uint64_t takeWrites();

  private:
    enum class BarSetting : uint8_t { Minimum, Maximum, Position, LargeChange, SmallChange };

    QWidget* widget(instrument::Control control) const;
    ScrollBar* scrollBar(instrument::Control control) const;
    void setBar(instrument::Control control, BarSetting setting, int value);
    void record(instrument::Control control, uint64_t value);

    const Design& ui_;
    ScreenCanvas& screen_;
    // Each control's widget, in the table's order.
    std::array<QWidget*, instrument::kControlCount> widgets_;
    instrument::Fingerprint writes_;
};

}  // namespace window
