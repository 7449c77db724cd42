// The controls of the main window as the instrument's routines see them. The window implements it
// with its widgets; the routines stay free of any widget toolkit.
#pragma once

#include <string_view>

#include "instrument/Canvas.h"

namespace instrument {

enum class Control {
    Edit1,      // level of R
    Edit2,      // unit above the zero line, L
    Edit4,      // level of L
    Edit5,      // unit below the zero line, L
    Edit8,      // frequency of R
    Edit11,     // peak text
    Edit12,     // frequency of L
    Edit13,     // generator amplitude
    Edit14,     // generator frequency
    Edit18,     // unit above the zero line, R
    Edit19,     // unit below the zero line, R
    Panel2,     // range exceeded
    Panel6,     // sound card in use by another program
    Panel14,    // display limit exceeded
    ComboBox1,  // time base
    ComboBox2,  // range of L
    ComboBox4,  // trigger source
    ComboBox5,
    ComboBox6,
    ComboBox7,     // generator amplitude range
    ComboBox8,     // generator frequency range
    ComboBox9,     // range of R
    RadioButton1,  // periodic display
    RadioButton2,  // single-shot display
    ScrollBar3,    // time shift between the channels
    DeviceNotice,  // a capture or playback device that fails (tried again), and the mixer
};

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
    // Clears everything drawn on the screen; the controls draw themselves again.
    virtual void repaintWindow() = 0;
    virtual Canvas& canvas() = 0;

  protected:
    ~FrontPanel() = default;
};

}  // namespace instrument
