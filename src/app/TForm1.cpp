#include "app/TForm1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cstdio>
#include <exception>

#include "instrument/TimeBase.h"
#include "window/Controls.h"
#include "window/MessagePump.h"

namespace app {

namespace {

// Start-up geometry: the window's width and height at the screen's top left corner, then the
// client height it is brought to.
constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 525;
constexpr int kClientHeight = 526;

// Vertical places relative to half the client height.
constexpr int kTrackBarAboveCentre = 220;
constexpr int kUpperLabelAboveCentre = 226;
constexpr int kLowerLabelBelowCentre = 212;
constexpr int kBottomRowBelowCentre = 235;

constexpr int32_t kStartSampleCount = 22100;
constexpr double kStartTraceScale = 0.988;
constexpr double kStartDivisionValue = 10.0;
constexpr double kStartGain = 1.0;
constexpr instrument::Word kStartGridBrightness = 75;
constexpr int32_t kStartTimeStep = 6;
constexpr int32_t kStartEnvelopeDiv = 16;
constexpr double kStartFrequency = 40.0;

constexpr int kFirstItem = 0;
constexpr int kAmplitudeStartItem = 0;  // " 0 až 1 V"
constexpr int kFrequencyStartItem = 1;  // "100 Hz až 1 kHz"

constexpr int kFrequencyStartMin = 100;
constexpr int kFrequencyStartMax = 10000;
constexpr int kFrequencyStartPosition = 100;
constexpr int kFrequencyStartLargeChange = 10;
constexpr int kFrequencyStartSmallChange = 1;
constexpr int kAmplitudeStartMin = 0;
constexpr int kAmplitudeStartMax = 32767;
constexpr int kAmplitudeStartPosition = 3276;

constexpr double kChannelShiftUnit = 10.0;  // ScrollBar3 units per ChannelShift step

// The idle passes draw into the screen image as often as they run; the window shows the image at
// a steady rate instead, so that a pass never waits for painting.
constexpr int kScreenRefreshMs = 20;

}  // namespace

TForm1::TForm1(Platform platform, IdleDriving idle)
    : QMainWindow(nullptr),
      instrument::Instrument(static_cast<instrument::FrontPanel&>(*this), platform.driver,
                             platform.loop),
      loop_(platform.loop),
      idleDriving_(idle) {
    ui_ = window::buildDesign(*this, screen_.image());
    pump_ = new window::MessagePump(loop_, this);
    idle_ = new window::IdleHandler([this](bool& done) { idleHandler(done); }, this);
    ui_.Client->OnResize = [this](int, int) { FormResize(); };
    connectHandlers();
    if (idleDriving_ == IdleDriving::EventLoop) {
        connect(&screenRefresh_, &QTimer::timeout, ui_.Client, [this] { ui_.Client->update(); });
        screenRefresh_.start(kScreenRefreshMs);
    }
    FormCreate();
}

TForm1::~TForm1() {
    idle_->remove();
    // The client area shows the screen image, which goes before the window's children do.
    delete takeCentralWidget();
}

void TForm1::connectHandlers() {
    connect(ui_.RadioButton1, &QRadioButton::clicked, this,
            [this] { userAction([this] { RadioButton1Click(); }); });
    connect(ui_.RadioButton2, &QRadioButton::clicked, this,
            [this] { userAction([this] { RadioButton2Click(); }); });
    connect(ui_.ComboBox1, &QComboBox::activated, this,
            [this] { userAction([this] { ComboBox1Click(); }); });
    connect(ui_.ComboBox4, &QComboBox::activated, this,
            [this] { userAction([this] { ComboBox4Click(); }); });
    connect(ui_.ScrollBar3, &QScrollBar::valueChanged, this,
            [this] { userAction([this] { ScrollBar3Change(); }); });
    connect(ui_.ScrollBar4, &QScrollBar::valueChanged, this,
            [this] { userAction([this] { ScrollBar4Change(); }); });
    connect(ui_.ScrollBar5, &QScrollBar::valueChanged, this,
            [this] { userAction([this] { ScrollBar5Change(); }); });
    connect(ui_.ComboBox7, &QComboBox::activated, this,
            [this] { userAction([this] { ComboBox7Click(); }); });
    connect(ui_.ComboBox8, &QComboBox::activated, this,
            [this] { userAction([this] { ComboBox8Click(); }); });
    connect(ui_.file1, &QAction::triggered, this, [this] { userAction([this] { file1Click(); }); });
    connect(ui_.Button2, &QPushButton::clicked, this,
            [this] { userAction([this] { Button2Click(); }); });
    // The other menu entries are headings and do nothing when chosen. The mixer program entry
    // comes with the mixer.
}

template <typename Handler>
void TForm1::userAction(Handler handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    }
    ui_.Client->update();
}

void TForm1::reportError(const QString& text) {
    if (idleDriving_ == IdleDriving::EventLoop) {
        QMessageBox::critical(this, QCoreApplication::applicationName(), text);
    } else {
        std::fprintf(stderr, "soundscope: %s\n", text.toLocal8Bit().constData());
    }
}

void TForm1::FormCreate() {
    try {
        // 1.
        SampleCount = kStartSampleCount;
        // 2. Geometry, then the scale labels and the (hidden) trigger slider.
        setWindowGeometry();
        // 3.
        TraceScaleR = kStartTraceScale;
        TraceScaleL = kStartTraceScale;
        // 4. Already checked by the design, so no click handler would run.
        window::setChecked(*ui_.RadioButton1, true);
        // 5.
        FollowGenerator = 0;
        // 6.
        DivisionValueR = kStartDivisionValue;
        GainR = kStartGain;
        DivisionValueL = kStartDivisionValue;
        GainL = kStartGain;
        // 7.
        GridVisible = 1;
        PeriodicMode = 1;
        GridBrightness = kStartGridBrightness;
        // 8.
        DrawGrid();
        // 9.
        TimeStep = kStartTimeStep;
        EnvelopeDivL = kStartEnvelopeDiv;
        EnvelopeDivR = kStartEnvelopeDiv;
        // 10.
        RangeLatchR.latch(instrument::kRange100mV);
        RangeLatchL.latch(instrument::kRange100mV);
        TimeBaseLatch.clear();
        AutoTimeBase = 1;
        // 11. Selecting from code runs no click handler.
        AutoRangeL = 1;
        AutoRangeR = 1;
        for (instrument::Control list :
             {instrument::Control::ComboBox2, instrument::Control::ComboBox9,
              instrument::Control::ComboBox4, instrument::Control::ComboBox5,
              instrument::Control::ComboBox6})
            setItemIndex(list, kFirstItem);
        // 12.
        SaveVolumes();
        // 13.
        SetUpMixer();
        // 14.
        ui_.Panel13->move(0, clientHeight() / 2 + kBottomRowBelowCentre);
        // 15. Raising the minimum moves the position from 0 to 100, which runs ScrollBar5Change
        // and with it the first capture start request.
        ui_.ScrollBar5->setMin(kFrequencyStartMin);
        ui_.ScrollBar5->setMax(kFrequencyStartMax);
        ui_.ScrollBar5->setPosition(kFrequencyStartPosition);
        GeneratorFrequency = ui_.ScrollBar5->position();
        instrument::NumText40 line;
        line.append(" ");
        NumText.setInteger(GeneratorFrequency);
        line.append(NumText.view());
        line.append(" Hz");
        setText(instrument::Control::Edit14, line.view());
        ui_.ScrollBar5->setLargeChange(kFrequencyStartLargeChange);
        ui_.ScrollBar5->setSmallChange(kFrequencyStartSmallChange);
        // 16.
        FreqL = kStartFrequency;
        FreqR = kStartFrequency;
        // 17.
        setVisible(instrument::Control::Panel14, false);
        // 18.
        setItemIndex(instrument::Control::ComboBox7, kAmplitudeStartItem);
        setItemIndex(instrument::Control::ComboBox8, kFrequencyStartItem);
        // 19. Setting the position runs ScrollBar4Change; the read-out is then written once more.
        ui_.ScrollBar4->setMin(kAmplitudeStartMin);
        ui_.ScrollBar4->setMax(kAmplitudeStartMax);
        ui_.ScrollBar4->setPosition(kAmplitudeStartPosition);
        GeneratorAmplitude = ui_.ScrollBar4->position();
        ShowAmplitudeReadout();
        // 20.
        setItemIndex(instrument::Control::ComboBox1, instrument::kTimeBaseAutomaticItem);
        // 21.
        setVisible(instrument::Control::Panel6, false);
        ChannelShift = static_cast<int32_t>(instrument::RoundHalfEven(
            position(instrument::Control::ScrollBar3) / kChannelShiftUnit));
        // 22.
        StartPlayback();
        // 23.
        installIdleHandler();
    } catch (const std::exception& e) {
        // The remaining steps are skipped, the idle handler among them; the window opens all the
        // same and its owner shows the text.
        startupError_ = QString::fromUtf8(e.what());
    }
}

void TForm1::FormClose() {
    RestoreVolumes();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    idle_->remove();
    event->accept();
}

void TForm1::Button2Click() {
    // Steps 1 and 2 of FormCreate once more; nothing else changes.
    SampleCount = kStartSampleCount;
    setWindowGeometry();
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && ui_.Button2->isVisible() && ui_.Button2->isEnabled()) {
        ui_.Button2->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::FormResize() {
    // Everything drawn on the client area is gone until the next drawing pass.
    screen_.resize(clientWidth(), clientHeight());
    ui_.Client->update();
}

// --- Geometry ---------------------------------------------------------------------------------

void TForm1::setWindowGeometry() {
    resize(kWindowWidth, kWindowHeight);
    move(0, 0);
    setClientHeight(kClientHeight);
    placeScaleLabels();
}

int TForm1::clientWidth() const {
    return ui_.Client->width();
}

int TForm1::clientHeight() const {
    return ui_.Client->height();
}

void TForm1::setClientHeight(int height) {
    // Lay the window out first, so that the client area's size is the one the window has now.
    layout()->activate();
    const int frame = this->height() - clientHeight();  // the menu bar
    resize(width(), height + frame);
    layout()->activate();
    // A client area that is still hidden hears of its size only when it is shown: keep the
    // screen the client's size from now on.
    if (screen_.clientWidth() != clientWidth() || screen_.clientHeight() != clientHeight())
        screen_.resize(clientWidth(), clientHeight());
}

void TForm1::placeScaleLabels() {
    // Each place reads the client height anew, as the window system may not give what was asked.
    auto setTop = [](QWidget* control, int top) { control->move(control->x(), top); };
    setTop(ui_.TrackBar1, clientHeight() / 2 - kTrackBarAboveCentre);
    setTop(ui_.Edit18, clientHeight() / 2 - kUpperLabelAboveCentre);
    setTop(ui_.Edit2, clientHeight() / 2 - kUpperLabelAboveCentre);
    setTop(ui_.Edit19, clientHeight() / 2 + kLowerLabelBelowCentre);
    setTop(ui_.Edit5, clientHeight() / 2 + kLowerLabelBelowCentre);
}

// --- Seams ------------------------------------------------------------------------------------

// The wave-output and auxiliary volumes are saved at start and put back at close by the device
// volume service, which comes with the mixer. Until then there is nothing to save or restore.
void TForm1::SaveVolumes() {}
void TForm1::RestoreVolumes() {}

// AudioMixer1 (LINE IN alone selected for recording, the playback and recording levels written)
// comes with the mixer. Until then the card's mixer is left as it is.
void TForm1::SetUpMixer() {}

// AudioOut1 and the generator it plays come with playback: StartDevice, and once more if it
// fails. Until then nothing is played.
void TForm1::StartPlayback() {}

// --- Idle handler -----------------------------------------------------------------------------

void TForm1::installIdleHandler() {
    idleInstalled_ = true;
    if (idleDriving_ == IdleDriving::EventLoop) idle_->install();
}

bool TForm1::idleHandlerInstalled() const {
    return idleInstalled_;
}

void TForm1::idleHandler(bool& done) {
    try {
        ++idlePasses_;
        MyIdleEvent(done);
    } catch (const std::exception& e) {
        // A pass that fails would fail again at once: stop measuring rather than repeat the
        // message without end.
        idle_->remove();
        idleInstalled_ = false;
        reportError(QString::fromUtf8(e.what()));
    }
}

bool TForm1::idlePass() {
    loop_.pump();
    if (!idleInstalled_) return false;
    bool done = true;
    ++idlePasses_;
    MyIdleEvent(done);
    return true;
}

// --- Front panel ------------------------------------------------------------------------------

QWidget* TForm1::widget(instrument::Control control) const {
    switch (control) {
        case instrument::Control::Edit1:
            return ui_.Edit1;
        case instrument::Control::Edit2:
            return ui_.Edit2;
        case instrument::Control::Edit4:
            return ui_.Edit4;
        case instrument::Control::Edit5:
            return ui_.Edit5;
        case instrument::Control::Edit8:
            return ui_.Edit8;
        case instrument::Control::Edit11:
            return ui_.Edit11;
        case instrument::Control::Edit12:
            return ui_.Edit12;
        case instrument::Control::Edit13:
            return ui_.Edit13;
        case instrument::Control::Edit14:
            return ui_.Edit14;
        case instrument::Control::Edit18:
            return ui_.Edit18;
        case instrument::Control::Edit19:
            return ui_.Edit19;
        case instrument::Control::Panel2:
            return ui_.Panel2;
        case instrument::Control::Panel6:
            return ui_.Panel6;
        case instrument::Control::Panel14:
            return ui_.Panel14;
        case instrument::Control::ComboBox1:
            return ui_.ComboBox1;
        case instrument::Control::ComboBox2:
            return ui_.ComboBox2;
        case instrument::Control::ComboBox4:
            return ui_.ComboBox4;
        case instrument::Control::ComboBox5:
            return ui_.ComboBox5;
        case instrument::Control::ComboBox6:
            return ui_.ComboBox6;
        case instrument::Control::ComboBox7:
            return ui_.ComboBox7;
        case instrument::Control::ComboBox8:
            return ui_.ComboBox8;
        case instrument::Control::ComboBox9:
            return ui_.ComboBox9;
        case instrument::Control::RadioButton1:
            return ui_.RadioButton1;
        case instrument::Control::RadioButton2:
            return ui_.RadioButton2;
        case instrument::Control::ScrollBar3:
            return ui_.ScrollBar3;
    }
    return nullptr;
}

void TForm1::setText(instrument::Control control, std::string_view text) {
    const QUtf8StringView wanted(text.data(), static_cast<qsizetype>(text.size()));
    QWidget* w = widget(control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (QAnyStringView::equal(edit->text(), wanted)) return;
        edit->setText(wanted.toString());
        edit->setCursorPosition(0);  // show the start of a text longer than the field
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (QAnyStringView::equal(label->text(), wanted)) return;
        label->setText(wanted.toString());
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
        if (QAnyStringView::equal(list->currentText(), wanted)) return;
        if (list->isEditable()) list->setEditText(wanted.toString());
    }
}

QString TForm1::controlText(instrument::Control control) const {
    QWidget* w = widget(control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    return {};
}

void TForm1::setVisible(instrument::Control control, bool visible) {
    QWidget* w = widget(control);
    if (w != nullptr && w->isHidden() == visible) w->setVisible(visible);
}

int TForm1::itemIndex(instrument::Control list) const {
    auto* combo = qobject_cast<QComboBox*>(widget(list));
    return combo != nullptr ? combo->currentIndex() : -1;
}

void TForm1::setItemIndex(instrument::Control list, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(widget(list))) window::selectItem(*combo, index);
}

void TForm1::setChecked(instrument::Control button, bool checked) {
    if (auto* radio = qobject_cast<QRadioButton*>(widget(button)))
        window::setChecked(*radio, checked);
}

int TForm1::position(instrument::Control scrollBar) const {
    auto* bar = qobject_cast<QScrollBar*>(widget(scrollBar));
    return bar != nullptr ? bar->value() : 0;
}

void TForm1::repaintWindow() {
    screen_.clear();
    ui_.Client->update();
}

}  // namespace app
