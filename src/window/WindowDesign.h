// The main window as designed: its caption, client area, every control with its bounds, colours,
// fonts, texts, hints, list items, stacking order and hidden or disabled state, and the menu bar.
// Building the design runs no handler; the owner connects the handlers afterwards.
#pragma once

#include <QImage>

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
class ScrollBar;

// The client area as designed: the start-up size, and the least the screen image covers.
inline constexpr int kDesignClientWidth = 800;
inline constexpr int kDesignClientHeight = 526;

// The window's controls, each under its design name (also its object name). Qt parent ownership:
// the window owns them all.
struct Design {
    CanvasView* Client = nullptr;  // the client area; the controls lie on it

    // Controls of the client area, from the bottom of the stacking order to the top.
    QSlider* TrackBar1 = nullptr;    // never shown
    QComboBox* ComboBox5 = nullptr;  // never shown
    QComboBox* ComboBox6 = nullptr;  // never shown
    QLabel* Panel6 = nullptr;        // never shown: hidden at start-up
    QLineEdit* Edit4 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLineEdit* Edit12 = nullptr;
    QLineEdit* Edit17 = nullptr;
    QPushButton* Button2 = nullptr;
    QLineEdit* Edit18 = nullptr;
    QLineEdit* Edit19 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLabel* Panel2 = nullptr;
    QLabel* Panel3 = nullptr;
    QLineEdit* Edit11 = nullptr;  // in Panel3
    QLabel* Panel13 = nullptr;
    ScrollBar* ScrollBar4 = nullptr;  // in Panel13, as everything down to GeneratorToggle
    ScrollBar* ScrollBar5 = nullptr;
    QLineEdit* Edit13 = nullptr;
    QLineEdit* Edit14 = nullptr;
    QComboBox* ComboBox7 = nullptr;
    QComboBox* ComboBox8 = nullptr;
    QLabel* Panel10 = nullptr;  // with ScrollBar3, hidden while the generator's controls show
    ScrollBar* ScrollBar3 = nullptr;
    QToolButton* GeneratorToggle = nullptr;  // at Panel13's right end, above all in it
    QLabel* Panel14 = nullptr;
    QComboBox* ComboBox9 = nullptr;
    // Above all: a capture or playback device that fails and is tried again (hidden until then).
    // Its text wraps at its width, and it is as high as its text.
    QLabel* DeviceNotice = nullptr;

    // Panel13 shows either the time shift or the generator's controls; the toggle and this key of
    // the window switch between them.
    GeneratorStrip* Strip = nullptr;
    QShortcut* GeneratorKey = nullptr;

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
};

// Builds the design on `window`: caption, window font, the client area showing `screen` (which
// must outlive the window) as the central widget, the controls on it and the menu bar.
Design buildDesign(QMainWindow& window, const QImage& screen);

}  // namespace window
