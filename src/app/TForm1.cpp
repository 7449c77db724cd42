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
#include <utility>

#include "app/MeasurementWindow.h"
#include "app/MixerProgram.h"
#include "app/SaveKeys.h"
#include "instrument/TimeBase.h"
#include "window/Controls.h"
#include "window/MessagePump.h"
#include "window/SignalClose.h"

namespace app {

namespace {

// Start-up geometry: the window at the screen's top left corner, the designed client width and
// this height, then brought to the designed client height.
constexpr int kWindowHeight = 525;

// Vertical places relative to half the client height.
constexpr int kTrackBarAboveCentre = 220;
constexpr int kUpperLabelAboveCentre = 226;
constexpr int kLowerLabelBelowCentre = 212;
constexpr int kBottomRowBelowCentre = 235;

constexpr int kFirstItem = 0;

}  // namespace

TForm1::TForm1(Backend backend, IdleDriving idle)
    : QMainWindow(nullptr),
      ui_(window::buildDesign(*this, screen_.image())),
      panel_(ui_, screen_),
      instrument_(panel_, backend.driver, backend.loop, backend.clock),
      generator_(instrument_, panel_),
      AudioMixer1(std::make_unique<audio::TAudioMixer>(backend.mixer, backend.loop)),
      volumes_(backend.mixer),
      loop_(backend.loop),
      idleDriving_(idle) {
    pump_ = new window::MessagePump(loop_, this);
    mixerPrograms_ = new ChildReaper(this);
    saveKeys_ = new SaveKeys(*this, ui_, instrument_);
    measurementWindow_ = new MeasurementWindow(*this, ui_, instrument_,
                                               [this](Channel c) { return captureLevel(c); });
    idle_ = new window::IdleHandler([this](bool& done) { idleHandler(done); }, this);
    ui_.client->onResize = [this](int, int) { FormResize(); };
    connectHandlers();
    // Its timeout is an event: the idle handler, waiting for one, makes the next pass.
    // Precise, so that it never fires before the attempt is due and wakes a pass for nothing.
    deviceRetry_.setSingleShot(true);
    deviceRetry_.setTimerType(Qt::PreciseTimer);
    FormCreate();
}

TForm1::~TForm1() {
    restoreMixer();
    idle_->remove();
    // It shows the instrument's figures, which go before the window's children do.
    delete std::exchange(measurementWindow_, nullptr);
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
    connect(ui_.ScrollBar5, &QScrollBar::sliderReleased, this,
            [this] { userAction([this] { ScrollBar5EndDrag(); }); });
    connect(ui_.ComboBox7, &QComboBox::activated, this,
            [this] { userAction([this] { ComboBox7Click(); }); });
    connect(ui_.ComboBox8, &QComboBox::activated, this,
            [this] { userAction([this] { ComboBox8Click(); }); });
    connect(ui_.file1, &QAction::triggered, this, [this] { userAction([this] { file1Click(); }); });
    connect(ui_.Button2, &QPushButton::clicked, this,
            [this] { userAction([this] { Button2Click(); }); });
    connect(ui_.mixer1, &QAction::triggered, this,
            [this] { userAction([this] { mixer1Click(); }); });
    // The other menu entries are headings and do nothing when chosen.
}

template <typename Handler>
void TForm1::userAction(Handler handler) {
    ++inputs_;
    try {
        handler();
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    }
    ui_.client->update();
    measurementWindow_->follow();  // a single-shot frame, say
}

void TForm1::reportError(const QString& text) {
    // A box opened after a termination signal would wait for a user who has asked to quit.
    if (idleDriving_ == IdleDriving::EventLoop && !window::terminationRequested()) {
        QMessageBox::critical(this, QCoreApplication::applicationName(), text);
    } else {
        std::fprintf(stderr, "soundscope: %s\n", text.toLocal8Bit().constData());
    }
}

void TForm1::FormCreate() {
    using namespace instrument;
    Instrument& s = instrument_;
    try {
        // 1.
        s.SampleCount = kStartSampleCount;
        // 2. Geometry, then the scale labels and the (hidden) trigger slider.
        setWindowGeometry();
        // 3.
        s.R.TraceScale = kStartTraceScale;
        s.L.TraceScale = kStartTraceScale;
        // 4. Already checked by the design, so no click handler would run.
        window::setChecked(*ui_.RadioButton1, true);
        // 5.
        s.FollowGenerator = kFollowMeasured;
        // 6.
        s.R.DivisionValue = kStartDivisionValue;
        s.R.Gain = kStartGain;
        s.L.DivisionValue = kStartDivisionValue;
        s.L.Gain = kStartGain;
        // 7.
        s.GridVisible = kGridShown;
        s.PeriodicMode = kPeriodicDisplay;
        s.GridBrightness = kStartGridBrightness;
        // 8.
        s.DrawGrid();
        // 9.
        s.TimeStep = kStartTimeStep;
        s.L.EnvelopeDiv = kStartEnvelopeDiv;
        s.R.EnvelopeDiv = kStartEnvelopeDiv;
        // 10.
        s.R.RangeLatch.latch(kRange100mV);
        s.L.RangeLatch.latch(kRange100mV);
        s.TimeBaseLatch.clear();
        s.AutoTimeBase = kAutomatic;
        // 11. Selecting from code runs no click handler.
        s.L.AutoRange = kAutomatic;
        s.R.AutoRange = kAutomatic;
        for (Control list : {Control::ComboBox2, Control::ComboBox9, Control::ComboBox4,
                             Control::ComboBox5, Control::ComboBox6})
            panel_.setItemIndex(list, kFirstItem);
        // 12.
        saveVolumes();
        // 13.
        setUpMixer();
        // 14.
        ui_.Panel13->move(0, clientHeight() / 2 + kBottomRowBelowCentre);
        // 15. Its change handler runs, and with it the first capture start request.
        generator_.setUpFrequencyBar();
        // 16.
        s.L.Freq = kStartFrequency;
        s.R.Freq = kStartFrequency;
        // 17, 18.
        generator_.setUpRanges();
        // 19.
        generator_.setUpAmplitudeBar();
        // 20.
        panel_.setItemIndex(Control::ComboBox1, kTimeBaseAutomaticItem);
        // 21.
        panel_.setVisible(Control::Panel6, false);
        s.readChannelShift();
        // 22.
        generator_.startPlayback();
        // 23.
        installIdleHandler();
    } catch (const std::exception& e) {
        // The remaining steps are skipped, the idle handler among them; the window opens all the
        // same and showWindow tells the user.
        startupError_ = QString::fromUtf8(e.what());
    }
}

void TForm1::showWindow() {
    show();
    if (!startupError_.isEmpty()) reportError(startupError_);
}

void TForm1::FormClose() {
    restoreMixer();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    measurementWindow_->close();
    idle_->remove();
    idleInstalled_ = false;
    event->accept();
}

void TForm1::Button2Click() {
    // Steps 1 and 2 of FormCreate once more; nothing else changes.
    instrument_.SampleCount = instrument::kStartSampleCount;
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
    ++inputs_;
    screen_.resize(clientWidth(), clientHeight());
    ui_.client->update();
}

// --- Geometry ---------------------------------------------------------------------------------

void TForm1::setWindowGeometry() {
    resize(window::kDesignClientWidth, kWindowHeight);
    move(0, 0);
    setClientHeight(window::kDesignClientHeight);
    placeScaleLabels();
}

int TForm1::clientWidth() const {
    return ui_.client->width();
}

int TForm1::clientHeight() const {
    return ui_.client->height();
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
        // A pass over the inputs a settled pass saw would repeat it: it need not be made.
        if (settle_.wouldRepeat(passInputs())) {
            done = true;
        } else {
            runPass(done);
        }
        if (const auto wait = instrument_.retryWait(); done && wait) deviceRetry_.start(*wait);
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
    runPass(done);
    return true;
}

uint64_t TForm1::passInputs() const {
    instrument::Fingerprint inputs;
    inputs.add(inputs_);
    instrument_.fingerprintPassInputs(inputs);
    return inputs.value();
}

void TForm1::runPass(bool& done) {
    panel_.takeWrites();  // what user actions set before the pass is not the pass's doing
    ++idlePasses_;
    instrument_.MyIdleEvent(done);

    instrument::Fingerprint left;
    left.add(panel_.takeWrites());
    instrument_.fingerprintPassState(left);
    done = settle_.settledAfter({passInputs(), left.value(), screen_.fingerprint()});
    // The client area shows the image again only when a pass changed it.
    if (settle_.imageChanged()) ui_.client->update();
    measurementWindow_->follow();
}

}  // namespace app
