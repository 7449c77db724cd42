// The window's bottom strip, Panel13, shows one of two groups of controls at a time: the time
// shift between the traces (Panel10 and ScrollBar3, shown at start-up) or the generator's controls
// (ComboBox7, Edit13, ScrollBar4, ScrollBar5, Edit14, ComboBox8), which the time shift would
// otherwise cover. A tool button at the strip's right end and a key of the window switch between
// them. Switching only shows and hides: no position, item or text changes and no handler runs.
#pragma once

#include <QObject>
#include <array>

class QToolButton;
class QWidget;

namespace window {

struct Design;

class GeneratorStrip final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GeneratorStrip)

  public:
    // Puts the toggle on the strip and the key on `window` (the strip's owner, which owns this
    // too), stores both in `d` and shows the time shift. The strip's controls must exist.
    GeneratorStrip(QWidget& window, Design& d);

    // Shows the generator's controls (true) or the time shift (false); the other group is hidden,
    // so that focus and the tab order reach only the shown one.
    void showGenerator(bool shown);
    bool generatorShown() const { return generatorShown_; }

  private:
    std::array<QWidget*, 6> generator_{};
    std::array<QWidget*, 2> timeShift_{};
    QToolButton* toggle_ = nullptr;
    bool generatorShown_ = false;
};

}  // namespace window
