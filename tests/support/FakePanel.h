// A front panel for tests of the instrument without widgets: it keeps what the routines set and
// records what they draw.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "instrument/FrontPanel.h"

namespace testing_support {

struct DrawnLine {
    int x0, y0, x1, y1;
    instrument::Rgb color;
};

struct DrawnText {
    int x, y;
    std::string text;
    instrument::Rgb color;
};

class RecordingCanvas final : public instrument::Canvas {
  public:
    int width = 792;
    int height = 526;
    std::vector<DrawnLine> lines;
    std::vector<DrawnText> texts;

    void setPenColor(instrument::Rgb color) override { pen_ = color; }
    void setFontColor(instrument::Rgb color) override { font_ = color; }
    void moveTo(int x, int y) override { x_ = x, y_ = y; }
    void lineTo(int x, int y) override {
        lines.push_back({x_, y_, x, y, pen_});
        x_ = x, y_ = y;
    }
    void textOut(int x, int y, std::string_view text) override {
        texts.push_back({x, y, std::string(text), font_});
    }
    int clientWidth() const override { return width; }
    int clientHeight() const override { return height; }
    void clear() { lines.clear(), texts.clear(); }

  private:
    instrument::Rgb pen_{}, font_{};
    int x_ = 0, y_ = 0;
};

class FakePanel final : public instrument::FrontPanel {
  public:
    std::map<instrument::Control, std::string> text;
    std::map<instrument::Control, bool> visible;
    std::map<instrument::Control, int> items;
    std::map<instrument::Control, bool> checked;
    std::map<instrument::Control, int> positions{{instrument::Control::ScrollBar3, 50}};
    int repaints = 0;
    RecordingCanvas screen;

    void setText(instrument::Control c, std::string_view t) override { text[c] = std::string(t); }
    void setVisible(instrument::Control c, bool v) override { visible[c] = v; }
    int itemIndex(instrument::Control c) const override {
        auto it = items.find(c);
        return it == items.end() ? 0 : it->second;
    }
    void setItemIndex(instrument::Control c, int i) override { items[c] = i; }
    void setChecked(instrument::Control c, bool v) override { checked[c] = v; }
    int position(instrument::Control c) const override {
        auto it = positions.find(c);
        return it == positions.end() ? 0 : it->second;
    }
    // A bar keeps its position; its range and steps are not kept, and no change handler runs.
    void setMinimum(instrument::Control, int) override {}
    void setMaximum(instrument::Control, int) override {}
    void setPosition(instrument::Control c, int v) override { positions[c] = v; }
    void setLargeChange(instrument::Control, int) override {}
    void setSmallChange(instrument::Control, int) override {}
    void repaintWindow() override {
        ++repaints;
        screen.clear();
    }
    instrument::Canvas& canvas() override { return screen; }
};

}  // namespace testing_support
