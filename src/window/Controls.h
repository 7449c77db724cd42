// The small control behaviours the window needs and Qt lacks or words differently:
// - ScrollBar: a range that can never be inverted (a maximum below the minimum is refused with
//   "Scrollbar property out of range"); every change of the position, by the user or by program
//   (a clamp included), emits valueChanged, which is where the change handler is connected. It
//   takes the focus by Tab and by click, as a desktop program's scroll bars do: then the arrow
//   keys move it by its small change, Page Up and Page Down by its large change, Home and End to
//   its ends, and a frame around the thumb shows that it has the focus.
// - setChecked: sets a radio button from code, also to unchecked, without running its click
//   handler (click handlers are connected to QAbstractButton::clicked, which code never emits).
// - selectItem: selects a list item from code without running the list's click handler (click
//   handlers are connected to QComboBox::activated, which only the user's choice emits).
// - CanvasView: the client area; it copies the screen image to the display and tells its owner
//   when its size changes.
#pragma once

#include <QImage>
#include <QScrollBar>
#include <QWidget>
#include <functional>
#include <stdexcept>

class QComboBox;
class QRadioButton;

namespace window {

// A control property set to a value the control cannot take.
class ControlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kScrollBarRangeError = "Scrollbar property out of range";

class ScrollBar final : public QScrollBar {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScrollBar)

  public:
    explicit ScrollBar(QWidget* parent);

    // Each clamps the position into the range. Throws ControlError, changing nothing, when the
    // new limit would put the maximum below the minimum.
    void setMin(int value);
    void setMax(int value);
    void setPosition(int value);
    int position() const { return value(); }

    void setLargeChange(int value) { setPageStep(value); }
    void setSmallChange(int value) { setSingleStep(value); }
    int largeChange() const { return pageStep(); }
    int smallChange() const { return singleStep(); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

// Sets `button` checked or unchecked without running its click handler. Unchecking the checked
// button of an exclusive group is allowed, so that a group can have no button checked.
void setChecked(QRadioButton& button, bool checked);

// Selects item `index` (-1: none) without running the list's click handler. In an editable list
// the edit field shows the item's text afterwards, also when the item was selected already.
void selectItem(QComboBox& list, int index);

class CanvasView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CanvasView)

  public:
    // `image` is the persistent screen image; it must outlive the view.
    CanvasView(const QImage& image, QWidget* parent);

    // Runs after every change of the view's size, with the new size.
    std::function<void(int width, int height)> onResize;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    const QImage& image_;
};

}  // namespace window
