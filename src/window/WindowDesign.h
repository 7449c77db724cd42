// The main window as designed: its caption, client area, every control with its bounds, colours,
// fonts, texts, hints, list items, stacking order and hidden or disabled state, and the menu bar.
// Building the design runs no handler; the owner connects the handlers afterwards.
#pragma once

#include <QImage>

#include "instrument/FrontPanel.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QShortcut;
class QSlider;
class QToolButton;

namespace window {

class CanvasView;
class GeneratorStrip;
class MenuCornerEntry;
class ScrollBar;

// The widget class of each kind of front panel control.
template <instrument::ControlKind>
struct WidgetKind;
template <>
struct WidgetKind<instrument::ControlKind::Edit> {
    using type = QLineEdit;
};
template <>
struct WidgetKind<instrument::ControlKind::Label> {
    using type = QLabel;
};
template <>
struct WidgetKind<instrument::ControlKind::List> {
    using type = QComboBox;
};
template <>
struct WidgetKind<instrument::ControlKind::Radio> {
    using type = QRadioButton;
};
template <>
struct WidgetKind<instrument::ControlKind::ScrollBar> {
    using type = ScrollBar;
};
template <instrument::ControlKind kind>
using WidgetOf = typename WidgetKind<kind>::type;

// The client area as designed: the start-up size, and the least the screen image covers.
inline constexpr int kDesignClientWidth = 800;
inline constexpr int kDesignClientHeight = 526;

// The window's controls, each under its design name (also its object name). Qt parent ownership:
// the window owns them all.
struct Design {
    CanvasView* client = nullptr;  // the client area; the controls lie on it

    // The controls the instrument drives, from its front panel's table, each of the kind the table
    // gives it.
#define SOUNDSCOPE_DESIGN_MEMBER(name, kind, reported, what) \
    WidgetOf<instrument::ControlKind::kind>* name = nullptr;
    SOUNDSCOPE_FRONT_PANEL(SOUNDSCOPE_DESIGN_MEMBER)
#undef SOUNDSCOPE_DESIGN_MEMBER

    // The design's other controls. Their stacking order, bottom to top, and that of the ones
    // above is the order buildDesign makes them in.
    QSlider* TrackBar1 = nullptr;  // never shown
    QLineEdit* Edit17 = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* Panel3 = nullptr;
    QLabel* Panel13 = nullptr;  // the bottom strip, with the generator's controls in it
    QLabel* Panel10 = nullptr;  // with ScrollBar3, hidden while the generator's controls show
    QToolButton* generatorToggle = nullptr;  // at Panel13's right end, above all in it

    // Panel13 shows either the time shift or the generator's controls; the toggle and this key of
    // the window switch between them.
    GeneratorStrip* strip = nullptr;
    QShortcut* generatorKey = nullptr;

    // The menu bar, left to right.
    QMenuBar* MainMenu1 = nullptr;
    QAction* spoutn1 = nullptr;
    QAction* test2 = nullptr;
    QMenu* volbazobrazen1 = nullptr;
    QAction* dosebe1 = nullptr;
    QAction* nadsebou1 = nullptr;
    QAction* file1 = nullptr;
    QAction* mickanl1 = nullptr;
    QAction* volbarozsahu1 = nullptr;
    QAction* frekvence1 = nullptr;
    QAction* naptR1 = nullptr;
    QAction* volbarozsahu2 = nullptr;
    QAction* frekvence2 = nullptr;
    QAction* asovzkladna1 = nullptr;
    QAction* mixer1 = nullptr;
    // Beyond the design: "měření" opens and closes the measurement window, also with
    // kMeasurementKey; its entry is the bar's corner entry, at the bar's right end.
    QAction* measurement1 = nullptr;
    MenuCornerEntry* measurementEntry = nullptr;
};

// The key of the menu entry "měření", in every window of the program.
inline constexpr int kMeasurementKey = Qt::Key_F3;

// Builds the design on `window`: caption, window font, the client area showing `screen` (which
// must outlive the window) as the central widget, the controls on it and the menu bar.
Design buildDesign(QMainWindow& window, const QImage& screen);

}  // namespace window
