// The controls of the main window as the instrument's routines see them. The window implements it
// with its widgets; the routines stay free of any widget toolkit.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

#include "instrument/Canvas.h"

namespace instrument {

// Every control the routines set or read, once: its design name, the kind of control the window
// makes it, whether the report lists what it shows, and what it is. The enum below, the window's
// widget for each control, the window design's member for it and the report's read-outs are all
// made from this table; a new control is one line here and its place in the window's design.
//   X(name, kind, reported, what)
#define SOUNDSCOPE_FRONT_PANEL(X)                                      \
    X(Edit1, Edit, true, "level of R")                                 \
    X(Edit2, Edit, true, "unit above the zero line, L")                \
    X(Edit4, Edit, true, "level of L")                                 \
    X(Edit5, Edit, true, "unit below the zero line, L")                \
    X(Edit8, Edit, true, "frequency of R")                             \
    X(Edit11, Edit, true, "peak text")                                 \
    X(Edit12, Edit, true, "frequency of L")                            \
    X(Edit13, Edit, true, "generator amplitude")                       \
    X(Edit14, Edit, true, "generator frequency")                       \
    X(Edit18, Edit, true, "unit above the zero line, R")               \
    X(Edit19, Edit, true, "unit below the zero line, R")               \
    X(Panel2, Label, false, "range exceeded")                          \
    X(Panel6, Label, false, "sound card in use by another program")    \
    X(Panel14, Label, false, "display limit exceeded")                 \
    X(ComboBox1, List, false, "time base")                             \
    X(ComboBox2, List, false, "range of L")                            \
    X(ComboBox4, List, false, "trigger source")                        \
    X(ComboBox5, List, false, "never shown")                           \
    X(ComboBox6, List, false, "never shown")                           \
    X(ComboBox7, List, false, "generator amplitude range")             \
    X(ComboBox8, List, false, "generator frequency range")             \
    X(ComboBox9, List, false, "range of R")                            \
    X(RadioButton1, Radio, false, "periodic display")                  \
    X(RadioButton2, Radio, false, "single-shot display")               \
    X(ScrollBar3, ScrollBar, false, "time shift between the channels") \
    X(ScrollBar4, ScrollBar, false, "generator amplitude")             \
    X(ScrollBar5, ScrollBar, false, "generator frequency")             \
    X(DeviceNotice, Label, false, "failing capture or playback devices, and the mixer")

// What kind of control the window makes of a front panel control.
enum class ControlKind { Edit, Label, List, Radio, ScrollBar };

enum class Control {
#define SOUNDSCOPE_CONTROL_ENUM(name, kind, reported, what) name,
    SOUNDSCOPE_FRONT_PANEL(SOUNDSCOPE_CONTROL_ENUM)
#undef SOUNDSCOPE_CONTROL_ENUM
};

struct ControlInfo {
    Control control;
    std::string_view name;  // the design name, also the widget's object name
    ControlKind kind;
    bool reported;  // the report lists its text under its name
};

// The table, in the enum's order.
inline constexpr ControlInfo kControls[] = {
#define SOUNDSCOPE_CONTROL_INFO(name, kind, reported, what) \
    {Control::name, #name, ControlKind::kind, reported},
    SOUNDSCOPE_FRONT_PANEL(SOUNDSCOPE_CONTROL_INFO)
#undef SOUNDSCOPE_CONTROL_INFO
};
inline constexpr size_t kControlCount = std::size(kControls);

constexpr const ControlInfo& controlInfo(Control control) {
    return kControls[static_cast<size_t>(control)];
}

class FrontPanel {
  public:
    virtual void setText(Control control, std::string_view text) = 0;
    virtual void setVisible(Control control, bool visible) = 0;
    // Selecting an item from code does not run the list's click handler.
    virtual int itemIndex(Control list) const = 0;
    virtual void setItemIndex(Control list, int index) = 0;
    // Setting a button from code does not run its click handler.
    virtual void setChecked(Control button, bool checked) = 0;
    virtual int position(Control scrollBar) const = 0;
    // A scroll bar's limits and position, as a program sets them: each clamps the position into
    // the range, and every actual change of the position (a clamp included) runs the bar's change
    // handler before the call returns. A limit that would put the maximum below the minimum is
    // refused with an exception ("Scrollbar property out of range"), changing nothing.
    virtual void setMinimum(Control scrollBar, int value) = 0;
    virtual void setMaximum(Control scrollBar, int value) = 0;
    virtual void setPosition(Control scrollBar, int value) = 0;
    // How far a page key (large) and an arrow key (small) move the bar.
    virtual void setLargeChange(Control scrollBar, int value) = 0;
    virtual void setSmallChange(Control scrollBar, int value) = 0;
    // Clears everything drawn on the screen; the controls draw themselves again.
    virtual void repaintWindow() = 0;
    virtual Canvas& canvas() = 0;

  protected:
    ~FrontPanel() = default;
};

}  // namespace instrument
