// The main window: the controls of its design, the screen, and the instrument that works on them
// through a front panel over the widgets. It is the composition root: given its platform (a wave
// driver and the message loop), it builds the window's design, owns the instrument and its
// components, brings everything into its start condition (FormCreate) and runs the measurement
// cycle as the application's idle handler.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/MeasurementTable.h"
#include "app/MixerRestore.h"
#include "audio/AudioMixer.h"
#include "generator/Generator.h"
#include "instrument/IdleSettle.h"
#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/MixerDriver.h"
#include "platform/WaveDriver.h"
#include "window/ScreenCanvas.h"
#include "window/WidgetPanel.h"
#include "window/WindowDesign.h"

namespace window {
class IdleHandler;
class MessagePump;
}  // namespace window

namespace app {

class ChildReaper;
class MeasurementWindow;
class SaveKeys;

// The backend the window runs on: ALSA for the program, the simulated card for tests and --sim.
struct Backend {
    platform::WaveDriver& driver;
    platform::MessageLoop& loop;
    platform::MixerDriver& mixer;  // the card's mixer and its device volumes
    instrument::Clock clock = {};  // paces the opens of a failing device; empty: the steady clock
};

// Who runs the idle passes: the event loop whenever it has nothing else to do (the program's
// window), or the caller, one pass at a time through idlePass() (headless runs and tests).
enum class IdleDriving { EventLoop, Caller };

class TForm1 final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

  public:
    // Builds the window and runs FormCreate. The window is not shown yet.
    explicit TForm1(Backend backend, IdleDriving idle = IdleDriving::EventLoop);
    ~TForm1() override;

    // Start-up and close. FormClose puts back what start-up changed in the card's mixer and the
    // device volumes; the destructor does, if FormClose has not.
    void FormCreate();
    void FormClose();
    void FormResize();
    void Button2Click();  // "optimum": back to the start-up geometry
    // Shows the window, then the text of the exception that ended FormCreate early, if any; the
    // mixer's notice goes to stderr too.
    void showWindow();

    // The handlers of the instrument's controls and its capture component; the instrument holds
    // what they do.
    bool AudioIn1BufferFilled(std::byte* Buffer, int32_t& Size) {
        return instrument_.AudioIn1BufferFilled(Buffer, Size);
    }
    void MyIdleEvent(bool& Done) { instrument_.MyIdleEvent(Done); }
    void RadioButton1Click() { instrument_.RadioButton1Click(); }
    void RadioButton2Click() { instrument_.RadioButton2Click(); }
    void ComboBox1Click() { instrument_.ComboBox1Click(); }
    void ComboBox4Click() { instrument_.ComboBox4Click(); }
    void ScrollBar3Change() { instrument_.ScrollBar3Change(); }
    void file1Click() { instrument_.file1Click(); }
    // "mixážní pult": starts the mixer program (setMixerProgram, else one found on PATH) without
    // waiting; nothing happens when none can be started.
    void mixer1Click();
    void setMixerProgram(const QString& commandLine) { mixerProgram_ = commandLine; }

    // The generator's panel and its playback handlers; the generator holds what they do.
    void ScrollBar4Change() { generator_.ScrollBar4Change(); }
    void ScrollBar5Change() { generator_.ScrollBar5Change(); }
    void ComboBox7Click() { generator_.ComboBox7Click(); }
    void ComboBox8Click() { generator_.ComboBox8Click(); }
    void ScrollBar5EndDrag() { generator_.ScrollBar5EndDrag(); }
    bool AudioOut1FillBuffer(std::byte* Buffer, int32_t& Size) {
        return generator_.AudioOut1FillBuffer(Buffer, Size);
    }
    void AudioOut1Start() { generator_.AudioOut1Start(); }

    // One idle pass as the event loop makes it: the pending driver messages are dispatched, then
    // MyIdleEvent runs once if it is installed. Returns whether it ran.
    bool idlePass();
    bool idleHandlerInstalled() const;
    // Idle passes run since the window was built.
    uint64_t idlePasses() const { return idlePasses_; }
    // Whether the last pass reported done: the passes have settled (instrument::IdleSettle). The
    // event loop then waits for the next event instead of passing again.
    bool lastPassDone() const { return settle_.settled(); }

    // The text of the exception that ended FormCreate early; empty when start-up completed.
    const QString& startupError() const { return startupError_; }
    // The text of the mixer's exception at start-up, which skipped the rest of the mixer's set-up
    // but not the rest of start-up (DeviceNotice says so); empty when the mixer opened.
    const QString& mixerError() const { return mixerError_; }
    // Tells the user of a failure: a message box for the window, a line on stderr for a window
    // whose passes the caller runs, or once a termination signal has come.
    void reportError(const QString& text);

    // The card's mixer: opened at start-up, LINE IN selected for recording, levels written.
    const std::unique_ptr<audio::TAudioMixer>& mixer() const { return AudioMixer1; }
    // The mixer's recording level of LINE IN on a channel (R: the card's first input), or of what
    // the card records when it has no LINE IN; none without a mixer or such a level.
    std::optional<int32_t> captureLevel(Channel channel) const;
    // Children of the mixing desk command that have not ended yet.
    size_t mixerProgramsRunning() const;

    const instrument::Instrument& instrument() const { return instrument_; }
    instrument::Instrument& instrument() { return instrument_; }
    // The controls as the instrument sees them, with the texts they show.
    const window::WidgetPanel& controls() const { return panel_; }
    const window::Design& design() const { return ui_; }
    const window::ScreenCanvas& screen() const { return screen_; }
    // Ctrl+S and Ctrl+Shift+S: the window's picture and the capture on the screen, kept in files.
    SaveKeys& saveKeys() { return *saveKeys_; }
    // "Měření" (F3): the figures of the capture on the screen, in a window of its own, and the log.
    MeasurementWindow& measurementWindow() { return *measurementWindow_; }

    // The client area's size: what the screen covers below the menu bar.
    int clientWidth() const;
    int clientHeight() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter that no focused control takes clicks the default button, Button2.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void connectHandlers();
    // Runs a handler the user's action started; an exception it raises is shown in a message box
    // instead of leaving through the event loop.
    template <typename Handler>
    void userAction(Handler handler);

    void setWindowGeometry();
    void setClientHeight(int height);
    void placeScaleLabels();

    // Start-up and close of the mixer and the device volumes (MixerSetUp.cpp).
    void saveVolumes();
    void restoreVolumes();
    void setUpMixer();
    // Keeps control `index` of `line` for restoreMixer; false when its values cannot be read.
    bool keepForRestore(const audio::TSource& line, int32_t index);
    void setMixerLevel(audio::TSource* line, int32_t level, bool rightFirst = false);
    void restoreMixer();

    void installIdleHandler();
    void idleHandler(bool& done);
    // MyIdleEvent, then the settle rule: sets `done` as lastPassDone() says.
    void runPass(bool& done);
    // The fingerprint of the inputs of a pass: the instrument's, and the user actions and resizes.
    uint64_t passInputs() const;

    // The screen and the controls come first: the instrument talks to them through the panel, so
    // it is built after them and gone before them; the generator works on the instrument.
    window::ScreenCanvas screen_;
    window::Design ui_;
    window::WidgetPanel panel_;
    instrument::Instrument instrument_;
    generator::Generator generator_;
    std::unique_ptr<audio::TAudioMixer> AudioMixer1;

    // The device volumes in force before start-up, put back at close. Only those that could be
    // read are written back.
    platform::MixerDriver& volumes_;
    std::optional<uint32_t> SavedWaveOutVolume;
    std::optional<uint32_t> SavedAuxVolume1, SavedAuxVolume2, SavedAuxVolume3, SavedAuxVolume4,
        SavedAuxVolume5;
    // The mixer's controls that start-up changed, as they were.
    MixerRestore mixerRestore_;
    bool volumesSaved_ = false;
    bool restored_ = false;  // since the last start-up
    QString mixerProgram_;
    ChildReaper* mixerPrograms_ = nullptr;
    SaveKeys* saveKeys_ = nullptr;
    MeasurementWindow* measurementWindow_ = nullptr;
    QString mixerError_;

    platform::MessageLoop& loop_;
    window::MessagePump* pump_ = nullptr;
    window::IdleHandler* idle_ = nullptr;
    // While a device fails (held by another program, its sound server gone), a settled pass is
    // followed by another when the device is due to be tried again, instead of waiting for an
    // event that may not come.
    QTimer deviceRetry_;
    IdleDriving idleDriving_;
    bool idleInstalled_ = false;
    uint64_t idlePasses_ = 0;
    // User actions and resizes so far, inputs of every pass; and whether the passes have settled.
    uint64_t inputs_ = 0;
    instrument::IdleSettle settle_;
    QString startupError_;
};

}  // namespace app
