#include "window/WindowDesign.h"

#include <QAction>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <algorithm>
#include <initializer_list>

#include "window/Controls.h"
#include "window/DesignStyle.h"
#include "window/GeneratorStrip.h"
#include "window/MenuCornerEntry.h"

namespace window {

namespace {

// The design asks for "MS Sans Serif", which Linux seldom has: the first of these faces that is
// installed stands in for it (the narrow ones keep the Czech texts inside their designed
// widths). Requests below 11 pixels render at 11, the smallest size that face was ever drawn at,
// so that the 5-pixel texts stay readable.
const QStringList kFontFaces{QStringLiteral("MS Sans Serif"),
                             QStringLiteral("Microsoft Sans Serif"),
                             QStringLiteral("Liberation Sans Narrow"),
                             QStringLiteral("Arial Narrow"),
                             QStringLiteral("DejaVu Sans Condensed"),
                             QStringLiteral("Liberation Sans"),
                             QStringLiteral("Arial")};
constexpr int kSmallestFontPixels = 11;
constexpr int kMenuFontPixels = 11;
constexpr int kWindowFontPixels = 5;

const QColor kYellow(255, 255, 0);
const QColor kAqua(0, 255, 255);
const QColor kTeal(0, 128, 128);
const QColor kRed(255, 0, 0);
const QColor kFuchsia(255, 0, 255);
const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);

QFont designFont(int pixels, bool bold) {
    QFont font;
    font.setFamilies(kFontFaces);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(pixels, kSmallestFontPixels));
    font.setBold(bold);
    return font;
}

// How a control looks. An invalid colour keeps the style's own; a zero font size keeps the
// window font.
struct Look {
    QColor background;
    QColor text;
    int fontPixels = 0;
    bool bold = false;
};

void applyLook(QWidget& control, const Look& look) {
    QPalette palette = control.palette();
    if (look.background.isValid()) {
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
            palette.setColor(role, look.background);
        control.setAutoFillBackground(true);
    }
    if (look.text.isValid()) {
        // A disabled control keeps the style's greyed text.
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            for (QPalette::ColorRole role :
                 {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                palette.setColor(group, role, look.text);
    }
    control.setPalette(palette);
    if (look.fontPixels != 0) control.setFont(designFont(look.fontPixels, look.bold));
}

template <typename Control>
Control* place(Control* control, const char* name, QRect bounds, const Look& look,
               const QString& hint = {}) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(bounds);
    applyLook(*control, look);
    if (!hint.isEmpty()) control->setToolTip(hint);
    return control;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, QRect bounds, const Look& look,
                    const QString& text, const QString& hint = {}) {
    auto* edit = place(new QLineEdit(text, parent), name, bounds, look, hint);
    edit->setCursorPosition(0);
    return edit;
}

// A scale label: an edit box without border that reads as text on the black screen. Its text
// starts at its left edge, as a label's does: QLineEdit keeps this much room before the text even
// without a frame, and "+mV" would not show whole in the designed 27 pixels.
constexpr int kLineEditTextIndent = 2;

QLineEdit* makeLabelEdit(QWidget* parent, const char* name, QRect bounds, const Look& look,
                         const QString& text) {
    QLineEdit* edit = makeEdit(parent, name, bounds, look, text);
    edit->setFrame(false);
    edit->setTextMargins(-kLineEditTextIndent, 0, 0, 0);
    return edit;
}

// A drop-down list: the user picks one of the items and cannot type.
QComboBox* makeList(QWidget* parent, const char* name, QRect bounds, const Look& look,
                    const QStringList& items, const QString& hint = {}) {
    auto* list = place(new QComboBox(parent), name, bounds, look, hint);
    list->addItems(items);
    list->setCurrentIndex(-1);  // the design shows no item
    return list;
}

// A combo box whose edit field holds `text` at design, which need not be one of its items.
QComboBox* makeCombo(QWidget* parent, const char* name, QRect bounds, const Look& look,
                     const QStringList& items, const QString& text) {
    auto* combo = place(new QComboBox(parent), name, bounds, look);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);  // typing never adds items
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
    combo->lineEdit()->setCursorPosition(0);
    // Like the design's combo boxes, show the start of an item longer than the field.
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                     [combo] { combo->lineEdit()->setCursorPosition(0); });
    return combo;
}

QLabel* makePanel(QWidget* parent, const char* name, QRect bounds, const Look& look,
                  const QString& caption, bool outerBevel = true) {
    auto* panel = place(new QLabel(caption, parent), name, bounds, look);
    panel->setAlignment(Qt::AlignCenter);
    panel->setAutoFillBackground(true);  // a panel covers what lies beneath it
    panel->setFrameStyle(outerBevel ? QFrame::Panel | QFrame::Raised : QFrame::NoFrame);
    return panel;
}

QRadioButton* makeRadio(QWidget* parent, const char* name, QRect bounds, const Look& look,
                        const QString& text, const QString& hint) {
    return place(new QRadioButton(text, parent), name, bounds, look, hint);
}

// A horizontal scroll bar with a large and a small change of 1, the stored default.
ScrollBar* makeScrollBar(QWidget* parent, const char* name, QRect bounds, int min, int max,
                         int position, const QString& hint = {}) {
    auto* bar = place(new ScrollBar(parent), name, bounds, Look{}, hint);
    bar->setRange(min, max);
    bar->setValue(position);
    bar->setLargeChange(1);
    bar->setSmallChange(1);
    return bar;
}

QAction* addEntry(QMenuBar& bar, const char* name, const QString& caption) {
    QAction* entry = bar.addAction(caption);
    entry->setObjectName(QString::fromLatin1(name));
    return entry;
}

const QStringList& rangeItems() {
    static const QStringList items{
        QStringLiteral("automaticky"), QStringLiteral("      50 V"),  QStringLiteral("      20 V"),
        QStringLiteral("      10 V"),  QStringLiteral("        5 V"), QStringLiteral("        2 V"),
        QStringLiteral("        1 V"), QStringLiteral("    500 mV"),  QStringLiteral("    200 mV"),
        QStringLiteral("    100 mV"),  QStringLiteral("      50 mV"), QStringLiteral("      20 mV"),
        QStringLiteral("      10 mV")};
    return items;
}

void buildClientControls(QWidget* client, Design& d) {
    const Look windowFont{};
    const Look yellowBold11{kYellow, kBlack, 11, true};
    const Look black11{{}, kBlack, 11, false};
    const Look aquaScale{kBlack, kAqua, 11, true};
    const Look yellowScale{kBlack, kYellow, kWindowFontPixels, true};
    const Look teal5{kTeal, kWhite, kWindowFontPixels, false};
    const Look warning{kRed, kWhite, 13, true};
    const QString rangeHint = QStringLiteral("nastavení rozsahu na ose napětí");

    // Controls that are never shown; start-up still moves or sets them.
    d.TrackBar1 = place(new QSlider(Qt::Vertical, client), "TrackBar1", QRect(30, 40, 25, 440),
                        windowFont, QStringLiteral("nastavuje spouštěcí úroveň"));
    d.TrackBar1->hide();
    d.ComboBox5 = place(new QComboBox(client), "ComboBox5", QRect(0, 0, 0, 0), windowFont);
    d.ComboBox5->hide();
    d.ComboBox6 = place(new QComboBox(client), "ComboBox6", QRect(0, 0, 0, 0), windowFont);
    d.ComboBox6->hide();
    d.Panel6 = makePanel(client, "Panel6", QRect(72, 200, 629, 21), {kFuchsia, kBlack, 0, false},
                         QStringLiteral("běží jiná aplikace využívající zvukovou kartu"));
    d.Panel6->hide();

    d.Edit4 =
        makeEdit(client, "Edit4", QRect(237, 0, 56, 21), yellowBold11, QStringLiteral("465 mA"),
                 QStringLiteral("velikost napětí v prvním měřicím kanálu"));
    d.Edit4->setReadOnly(true);
    d.ComboBox1 = makeList(client, "ComboBox1", QRect(644, 0, 83, 21), black11,
                           {QStringLiteral("automatická"), QStringLiteral("   100 msec"),
                            QStringLiteral("    50 msec"), QStringLiteral("    20 msec"),
                            QStringLiteral("    10 msec"), QStringLiteral("      5 msec"),
                            QStringLiteral("      2 msec"), QStringLiteral("      1 msec"),
                            QStringLiteral(" generátoru")},
                           QStringLiteral("nastavení časové osy"));
    d.Edit12 =
        makeEdit(client, "Edit12", QRect(374, 0, 62, 21), yellowBold11, QStringLiteral("12760 Hz"),
                 QStringLiteral("frekvence napětí v prvním měřicím kanálu"));
    d.Edit12->setReadOnly(true);
    d.Edit17 = makeEdit(client, "Edit17", QRect(727, 0, 68, 21), {kRed, kBlack, 11, false},
                        QStringLiteral("          jas"), QStringLiteral("nastavuje jas rastru"));
    d.Edit17->setEnabled(false);
    d.Button2 =
        place(new QPushButton(QStringLiteral("optimum"), client), "Button2", QRect(730, 2, 61, 18),
              black11, QStringLiteral("vytvoří nebo odstraní svítící rastr na obrazovce"));
    d.Button2->setDefault(true);
    d.Edit18 =
        makeLabelEdit(client, "Edit18", QRect(0, 40, 27, 15), aquaScale, QStringLiteral("+mV"));
    d.Edit19 =
        makeLabelEdit(client, "Edit19", QRect(0, 484, 27, 15), aquaScale, QStringLiteral("-mV"));
    d.ComboBox2 = makeList(client, "ComboBox2", QRect(294, 0, 81, 21), {kYellow, kBlack, 11, false},
                           rangeItems(), rangeHint);
    d.ComboBox2->setEnabled(false);
    d.RadioButton1 =
        makeRadio(client, "RadioButton1", QRect(84, 2, 71, 19), teal5, QStringLiteral("periodické"),
                  QStringLiteral("provádí periodické zobrazování průběhu"));
    d.RadioButton1->setChecked(true);
    d.RadioButton2 = makeRadio(
        client, "RadioButton2", QRect(157, 2, 80, 19), teal5, QStringLiteral("jednorázové"),
        QStringLiteral("provede po stisku levého tlačítka myši  VŽDY  jednorázové zobrazení"));
    d.Edit1 = makeEdit(client, "Edit1", QRect(435, 0, 67, 21), {kAqua, {}, 0, false},
                       QStringLiteral("532.2 mV"));
    d.Edit8 = makeEdit(client, "Edit8", QRect(583, 0, 62, 21), {kAqua, {}, 0, false},
                       QStringLiteral("12760 Hz"));
    d.ComboBox4 =
        makeCombo(client, "ComboBox4", QRect(0, 0, 82, 21), {{}, kBlack, kWindowFontPixels, false},
                  {QStringLiteral("automaticky"), QStringLiteral("od kanálu L"),
                   QStringLiteral("od kanálu R")},
                  QStringLiteral("od kanálu R"));
    d.Edit2 =
        makeLabelEdit(client, "Edit2", QRect(32, 41, 27, 15), yellowScale, QStringLiteral("mA"));
    d.Edit5 =
        makeLabelEdit(client, "Edit5", QRect(32, 479, 27, 15), yellowScale, QStringLiteral("mA"));
    d.Panel2 = makePanel(client, "Panel2", QRect(76, 256, 417, 25), warning,
                         QStringLiteral("překročen nastavený rozsah - snižte měřenou veličinu"));
    d.Panel2->hide();
    // Lies right of the 800-pixel client area: not visible in the start-up geometry.
    d.Panel3 = makePanel(client, "Panel3", QRect(806, 0, 217, 22), windowFont, {}, false);
    d.Edit11 =
        makeEdit(d.Panel3, "Edit11", QRect(4, 0, 209, 21), windowFont, QStringLiteral("Edit11"));

    const Look panelText{{}, kBlack, kWindowFontPixels, true};
    d.Panel13 = makePanel(client, "Panel13", QRect(0, 500, 800, 29),
                          {kTeal, kWhite, kWindowFontPixels, true},
                          QStringLiteral("< amplituda frekvence >"));
    d.ScrollBar4 = makeScrollBar(d.Panel13, "ScrollBar4", QRect(164, 5, 223, 20), 0, 1000, 500,
                                 QStringLiteral("nastavení amplitudy"));
    d.ScrollBar5 = makeScrollBar(d.Panel13, "ScrollBar5", QRect(388, 5, 223, 20), 0, 100, 0,
                                 QStringLiteral("nastavení frekvence"));
    d.Edit13 =
        makeEdit(d.Panel13, "Edit13", QRect(104, 4, 57, 21), panelText, QStringLiteral(" 999 mV"));
    d.Edit14 =
        makeEdit(d.Panel13, "Edit14", QRect(612, 4, 61, 21), panelText, QStringLiteral(" 500 Hz"));
    d.ComboBox7 = makeCombo(d.Panel13, "ComboBox7", QRect(4, 4, 101, 21), panelText,
                            {QStringLiteral(" 0 až 1 V"), QStringLiteral(" 0 až 500 mV"),
                             QStringLiteral(" 0 až 200 mV"), QStringLiteral(" 0 až 100 mV"),
                             QStringLiteral(" 0 až 50 mV"), QStringLiteral(" 0 až 20 mV"),
                             QStringLiteral(" 0 až 10 mV "), QStringLiteral("  vypnuto")},
                            QStringLiteral(" 0 až 10 mV "));
    d.ComboBox8 = makeCombo(d.Panel13, "ComboBox8", QRect(668, 4, 121, 21), panelText,
                            {QStringLiteral("20 Hz až 100 Hz"), QStringLiteral("100 Hz až 1 kHz"),
                             QStringLiteral("1 kHz až 20 kHz"), QStringLiteral("10 Hz až 20 kHz")},
                            QStringLiteral("100 Hz až 1 kHz "));
    // Created after the generator controls, these two lie over them: the strip shows one group
    // at a time (GeneratorStrip).
    d.Panel10 = makePanel(d.Panel13, "Panel10", QRect(0, 2, 281, 25), panelText,
                          QStringLiteral("časový posun zobrazených signálů vůči sobě"));
    d.ScrollBar3 = makeScrollBar(d.Panel13, "ScrollBar3", QRect(279, 2, 521, 25), 10, 200, 50);

    d.Panel14 = makePanel(client, "Panel14", QRect(72, 172, 629, 21), warning,
                          QStringLiteral("překročena mez zobrazitelnosti - snižte frekvenci"));
    d.Panel14->hide();
    d.ComboBox9 = makeList(client, "ComboBox9", QRect(502, 0, 81, 21), {kAqua, kBlack, 11, false},
                           rangeItems(), rangeHint);
    d.ComboBox9->setEnabled(false);
    // Below the zero line, where the traces (positive half-waves) never are.
    d.DeviceNotice = makePanel(client, "DeviceNotice", QRect(72, 300, 629, 21), warning, {});
    d.DeviceNotice->setWordWrap(true);
    d.DeviceNotice->hide();
}

void buildMenu(QMainWindow& window, Design& d) {
    QMenuBar& bar = *window.menuBar();
    bar.setObjectName(QStringLiteral("MainMenu1"));
    bar.setFont(designFont(kMenuFontPixels, false));  // the menu bar has the system's font
    // Narrow item margins keep all twelve entries within the 800-pixel window.
    bar.setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 1px 4px; }"));
    d.MainMenu1 = &bar;
    // Most entries are headings over the controls of the top row and do nothing when chosen.
    d.spoutn1 = addEntry(bar, "spoutn1", QStringLiteral("   spouštění"));
    d.test2 = addEntry(bar, "test2", QStringLiteral("test"));
    d.test2->setEnabled(false);
    d.volbazobrazen1 = bar.addMenu(QStringLiteral("     volba zobrazení"));
    d.volbazobrazen1->setObjectName(QStringLiteral("volbazobrazen1"));
    d.dosebe1 = d.volbazobrazen1->addAction(QStringLiteral("do sebe"));
    d.dosebe1->setObjectName(QStringLiteral("dosebe1"));
    d.nadsebou1 = d.volbazobrazen1->addAction(QStringLiteral("nad sebou"));
    d.nadsebou1->setObjectName(QStringLiteral("nadsebou1"));
    d.nadsebou1->setEnabled(false);
    d.file1 = addEntry(bar, "file1", QStringLiteral("mazání"));
    d.mickanl1 = addEntry(bar, "mickanl1", QStringLiteral("proud IL"));
    d.volbarozsahu1 = addEntry(bar, "volbarozsahu1", QStringLiteral("volba rozsahu"));
    d.frekvence1 = addEntry(bar, "frekvence1", QStringLiteral(" frekvence"));
    d.naptR1 = addEntry(bar, "naptR1", QStringLiteral("napětí UR"));
    d.volbarozsahu2 = addEntry(bar, "volbarozsahu2", QStringLiteral("volba rozsahu"));
    d.frekvence2 = addEntry(bar, "frekvence2", QStringLiteral(" frekvence"));
    d.asovzkladna1 = addEntry(bar, "asovzkladna1", QStringLiteral(" časová &osa"));  // Alt+O
    d.mixer1 = addEntry(bar, "mixer1", QStringLiteral("mixážní pult"));
    // The measurement window's entry, the bar's only addition to the design, at its right end. The
    // designed entries leave it two pixels less than an entry of the bar takes, so it is the bar's
    // corner entry, which moves none of them. Its key works in the measurement window too, so that
    // the key closes the window it opened.
    d.measurement1 = new QAction(QStringLiteral("měření"), &window);
    d.measurement1->setObjectName(QStringLiteral("measurement1"));
    d.measurement1->setShortcut(QKeySequence(kMeasurementKey));
    d.measurement1->setShortcutContext(Qt::ApplicationShortcut);
    window.addAction(d.measurement1);
    d.measurementEntry = new MenuCornerEntry(*d.measurement1, bar);
    d.measurementEntry->setObjectName(QStringLiteral("MeasurementEntry"));
}

}  // namespace

Design buildDesign(QMainWindow& window, const QImage& screen) {
    Design d;
    window.setWindowTitle(QStringLiteral(
        "osciloskop JEN PRO MĚŘENÍ NA DIGITÁLNÍCH OBVODECH !!! SbLive! Value,vstup LINE IN (s "
        "předdřadnými odpory 2 x M1}"));
    window.setFont(designFont(kWindowFontPixels, true));
    QPalette palette = window.palette();
    palette.setColor(QPalette::WindowText, kBlack);
    window.setPalette(palette);

    d.client = new CanvasView(screen, &window);
    d.client->setObjectName(QStringLiteral("Client"));
    window.setCentralWidget(d.client);
    window.resize(kDesignClientWidth, kDesignClientHeight);

    buildClientControls(d.client, d);
    // The lists and radio buttons get the room for their texts that the design gave them. The
    // style is the window's, made after the client area, so that it goes after the controls.
    auto* style = new DesignStyle;
    style->setParent(&window);
    for (QComboBox* list : d.client->findChildren<QComboBox*>()) list->setStyle(style);
    for (QRadioButton* button : d.client->findChildren<QRadioButton*>()) button->setStyle(style);
    d.strip = new GeneratorStrip(window, d);
    buildMenu(window, d);
    return d;
}

}  // namespace window
