// The program entry: reads the command line, picks the sound card (ALSA, or the simulated card),
// opens the main window and runs it: with the event loop, or headless for a number of idle passes.
#include <poll.h>

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/MeasurementTable.h"
#include "app/MeasurementWindow.h"
#include "app/Options.h"
#include "app/Report.h"
#include "app/SelfTest.h"
#include "app/TForm1.h"
#include "app/Translations.h"
#include "app/Version.h"
#include "audio/AudioOut.h"
#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/MixerDriver.h"
#include "platform/WaveDriver.h"
#include "platform/WaveTypes.h"
#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/alsa/AlsaWaveDriver.h"
#include "platform/sim/SignalSource.h"
#include "platform/sim/SimCard.h"
#include "platform/sim/SimMixer.h"
#include "window/GeneratorStrip.h"
#include "window/Screenshot.h"
#include "window/SignalClose.h"

namespace {

using app::Options;
using app::SimSignal;

constexpr int kFailureExitStatus = 1;

// Thrown by a headless step once a termination signal has come: the self-test ends there.
struct Terminated {};

// A headless pass on ALSA waits this long at most for the next driver message (a buffer lasts
// 250 ms).
constexpr int kAlsaPassWaitMs = 300;
// How long the self-test waits for a generator whose device has not answered yet.
constexpr std::chrono::seconds kGeneratorAnswerWait{3};
// Before the window is there, how long start-up waits for the capture device's verdict: an open
// that is merely slow (a loaded machine parsing ALSA's configuration, a sound server starting)
// is told from one that does not answer, and a device that cannot be opened still gets the
// question.
constexpr std::chrono::milliseconds kStartUpAnswerWait{1500};

// The demo signal: a square on R (the card's first input) and a sine on L.
constexpr double kDemoSquareHz = 500.0;
constexpr double kDemoSineHz = 250.0;
// 8000 sample units stand about 4 V high on the 5 V scale, inside the display clamps.
constexpr int kDemoAmplitude = 8000;

void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

std::unique_ptr<platform::sim::StereoSource> demoSignal() {
    using namespace platform::sim;
    return makeStereo(makeSquare(kDemoSquareHz, kDemoAmplitude),
                      makeSine(kDemoSineHz, kDemoAmplitude));
}

// The simulated card's source for `options`; null with `error` set when a file cannot be read.
std::unique_ptr<platform::sim::StereoSource> simSource(const Options& options,
                                                       platform::sim::SimCard& card,
                                                       std::string& error) {
    using namespace platform::sim;
    switch (options.simSignal) {
        case SimSignal::Demo:
            return demoSignal();
        case SimSignal::Square:
            return makeStereo(makeSquare(kDemoSquareHz, kDemoAmplitude),
                              makeSquare(kDemoSquareHz, kDemoAmplitude));
        case SimSignal::Silence:
            return makeStereo(makeSilence(), makeSilence());
        case SimSignal::Loopback:
            return makeLoopback(card, options.simLoopbackLineIn ? LineIn{}.highPassHz : 0.0);
        case SimSignal::File:
            return openSoundFile(options.simFile.toStdString(), error);
        case SimSignal::Pulse: {
            // A logic signal from 0 up to the demo's amplitude; through the LINE IN each input
            // has noise of its own.
            const PulseTrain pulse{options.simPulse.frequency, options.simPulse.dutyPercent,
                                   kDemoAmplitude, 0};
            if (!options.simPulse.lineIn) return makeStereo(makePulse(pulse), makePulse(pulse));
            LineIn first;
            LineIn second;
            second.noiseSeed = first.noiseSeed + 1;
            return makeStereo(makePulse(pulse, first), makePulse(pulse, second));
        }
    }
    return nullptr;
}

// Whether the capture device opens with the instrument's format: NoError, the driver's result, or
// NoAnswer for a device (a sound server) that has not answered yet, which the window's paced
// retry takes over; otherwise `why` holds the driver's text. The device is closed again at once.
platform::MMResult captureOpens(platform::WaveDriver& driver, platform::MessageLoop& loop,
                                std::string& why) {
    const platform::WaveFormat format = instrument::captureFormat();
    std::unique_ptr<platform::WaveStream> stream;
    const platform::MMResult result =
        driver.open(platform::Direction::Capture, platform::kWaveMapper, format, loop,
                    platform::kNoTarget, stream);
    if (platform::failed(result)) {
        why = driver.errorText(platform::Direction::Capture, result);
        return result;
    }
    stream.reset();  // closes the device
    loop.pump();     // its notices had no receiver
    return result;
}

// Whether a wave component's latest failure is a device that has not answered yet.
bool notAnswering(const audio::TWaveIO& device) {
    return device.deviceFailed() && device.lastError().reason.code == platform::MMResult::NoAnswer;
}

bool displayAvailable() {
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    // A platform chosen by the user (other than the two that show nothing) is taken as a display.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return !platform.isEmpty() && !platform.startsWith("offscreen") &&
           !platform.startsWith("minimal");
}

void waitForMessage(const platform::MessageLoop& loop, int timeoutMs) {
    pollfd fd{loop.wakeFd(), POLLIN, 0};
    ::poll(&fd, 1, timeoutMs);
}

// Writes what the command line asked for; false after telling why on stderr.
bool writeOutputs(app::TForm1& form, const Options& options) {
    bool ok = true;
    QString error;
    const app::ReportSource report{form.instrument(), form.controls(), form.idlePasses(),
                                   form.measurementWindow().scales()};
    if (!options.reportPath.isEmpty() && !app::writeReport(report, options.reportPath, error)) {
        printLine(stderr, QStringLiteral("soundscope: ") + error);
        ok = false;
    }
    if (!options.screenshotPath.isEmpty() &&
        !window::saveScreenshot(form, options.screenshotPath, error)) {
        printLine(stderr, QStringLiteral("soundscope: ") + error);
        ok = false;
    }
    return ok;
}

// The command line's answer when it asks for no run (an error, --help, --version): printed, with
// the exit status; none when the program is to run.
std::optional<int> answerWithoutRunning(const app::ParsedCommandLine& parsed) {
    switch (parsed.outcome) {
        case app::ParsedCommandLine::Outcome::Error:
            printLine(stderr, parsed.text);
            return app::kUsageExitStatus;
        case app::ParsedCommandLine::Outcome::Help:
        case app::ParsedCommandLine::Outcome::Version:
            std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
            return 0;
        case app::ParsedCommandLine::Outcome::Run:
            break;
    }
    return std::nullopt;
}

// How the program runs: in a window on the event loop, or headless (asked for with --passes or
// the self-test, or for want of a display) for a number of passes, the simulated card then on its
// manual clock.
struct RunMode {
    bool headless = false;
    int passes = app::kDefaultHeadlessPasses;
    platform::sim::SimClock simClock = platform::sim::SimClock::Realtime;
};

RunMode runModeFor(const Options& options) {
    RunMode mode;
    mode.headless = options.passes.has_value() || options.selfTest || options.measure ||
                    options.calibrate[0].has_value() || options.calibrate[1].has_value() ||
                    !displayAvailable();
    mode.passes = options.passes.value_or(app::kDefaultHeadlessPasses);
    mode.simClock = mode.headless ? platform::sim::SimClock::Manual : platform::sim::SimClock::Realtime;
    return mode;
}

// The sound card the window runs on: the simulated card or ALSA's devices, and the mixer.
struct SoundCard {
    std::unique_ptr<platform::sim::SimCard> sim;
    std::unique_ptr<platform::alsa::AlsaWaveDriver> alsa;
    std::unique_ptr<platform::MixerDriver> mixer;

    platform::WaveDriver& driver() const {
        return sim ? static_cast<platform::WaveDriver&>(*sim) : *alsa;
    }
    // The playback device as the messages name it.
    QString playbackDevice(const Options& options) const {
        return sim ? QStringLiteral("simulated") : options.playbackDevice;
    }
};

// The simulated card with its signal, when the command line asks for it. Made before anything
// else, so that an unreadable file is a usage error reported first: false after telling why.
bool makeSimulatedCard(const Options& options, const RunMode& mode, SoundCard& card) {
    if (!options.simulated) return true;
    card.sim = std::make_unique<platform::sim::SimCard>(mode.simClock);
    std::string error;
    auto source = simSource(options, *card.sim, error);
    if (!source) {
        printLine(stderr, QStringLiteral("soundscope: --sim: ") + QString::fromStdString(error));
        return false;
    }
    card.sim->setSource(std::move(source));
    return true;
}

// The application's names, Qt's texts in the user's language and the termination signals, all
// before any box is made; headless without having been asked, the program says so.
void setUpApplication(QApplication& application, const Options& options, const RunMode& mode) {
    QApplication::setApplicationName(QStringLiteral("soundscope"));
    QApplication::setApplicationVersion(QLatin1String(app::kVersion));
    // Ties the window to the installed desktop entry (its name and icon on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("soundscope"));
    // Before any box is made: Qt's buttons ("Ano"/"Ne") speak the user's language.
    app::installQtTranslations(application, QLocale::system());
    // Before any box too: a signal closes it, and the program ends as the user would end it.
    if (const QString why = window::watchTerminationSignals(); !why.isEmpty()) {
        printLine(stderr, QStringLiteral("soundscope: termination signals will end the program "
                                         "without closing the window (%1)")
                              .arg(why));
    }
    if (mode.headless && !options.passes && !options.selfTest && !options.measure &&
        !options.calibrate[0] && !options.calibrate[1])
        printLine(stderr, QStringLiteral("soundscope: no display; running %1 idle passes headless")
                              .arg(mode.passes));
}

// A capture device that cannot be opened is told, and the simulated card offered in its place:
// taken headless, asked with a window (unless a termination signal has come). Whether to take it.
bool offerSimulatedCard(const Options& options, const RunMode& mode, const QString& reason) {
    const QString failure =
        QStringLiteral("soundscope: the capture device '%1' cannot be opened (%2)")
            .arg(options.captureDevice, reason);
    bool useSim = !window::terminationRequested();
    if (mode.headless) {
        printLine(stderr, failure + QStringLiteral("; using the simulated card"));
    } else if (useSim) {
        printLine(stderr, failure);  // also with a window, before its question
        useSim = QMessageBox::question(
                     nullptr, QStringLiteral("soundscope"),
                     QStringLiteral("Zvukovou kartu nelze otevřít pro záznam (zařízení "
                                    "„%1“):\n%2\n\nSpustit osciloskop se simulovanou "
                                    "zvukovou kartou?")
                         .arg(options.captureDevice, reason),
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    }
    return useSim;
}

// The simulated card has a typical card's mixer unless the user names an ALSA mixer; on ALSA the
// mixer is the card behind the capture device unless the user names one.
std::unique_ptr<platform::MixerDriver> mixerFor(const Options& options, const SoundCard& card) {
    if (card.sim && options.mixerDevice.isEmpty())
        return std::make_unique<platform::sim::SimMixer>();
    const std::string device =
        options.mixerDevice.isEmpty()
            ? platform::alsa::mixerDeviceFor(options.captureDevice.toStdString())
            : options.mixerDevice.toStdString();
    return std::make_unique<platform::alsa::AlsaMixerDriver>(device);
}

// ALSA's devices unless the simulated card was asked for, with the start-up question when the
// capture device cannot be opened (the self-test ends instead), and then the mixer. Returns the
// exit status when the program is to end here.
std::optional<int> chooseSoundCard(const Options& options, const RunMode& mode,
                                   platform::MessageLoop& loop, SoundCard& card) {
    if (!card.sim) {
        card.alsa = std::make_unique<platform::alsa::AlsaWaveDriver>(
            options.captureDevice.toStdString(), options.playbackDevice.toStdString());
        std::string why;
        platform::MMResult opened = captureOpens(*card.alsa, loop, why);
        // The open goes on after a NoAnswer, and the next open takes its outcome.
        for (const auto started = std::chrono::steady_clock::now();
             opened == platform::MMResult::NoAnswer &&
             std::chrono::steady_clock::now() - started < kStartUpAnswerWait;)
            opened = captureOpens(*card.alsa, loop, why);
        if (opened == platform::MMResult::NoAnswer) {
            // Not a device that cannot be opened: the window starts, names it in its notice and
            // keeps trying it.
            if (mode.headless)
                printLine(stderr, QStringLiteral("soundscope: the capture device '%1' does not "
                                                 "answer (%2); it is tried again")
                                      .arg(options.captureDevice, QString::fromStdString(why)));
        } else if (platform::failed(opened)) {
            const QString reason = QString::fromStdString(why);
            if (options.selfTest) {
                // The demo signal would only make the check fail for the wrong reason.
                printLine(stderr, QStringLiteral("soundscope: self-test: the capture device '%1' "
                                                 "cannot be opened (%2)")
                                      .arg(options.captureDevice, reason));
                return kFailureExitStatus;
            }
            if (offerSimulatedCard(options, mode, reason)) {
                card.alsa.reset();
                card.sim = std::make_unique<platform::sim::SimCard>(mode.simClock);
                card.sim->setSource(demoSignal());
            }
        }
    }
    card.mixer = mixerFor(options, card);
    return std::nullopt;
}

// The main window on the card, shown (offscreen when headless) as the command line asks.
std::unique_ptr<app::TForm1> buildWindow(const Options& options, const RunMode& mode,
                                         platform::MessageLoop& loop, const SoundCard& card) {
    auto form = std::make_unique<app::TForm1>(
        app::Backend{card.driver(), loop, *card.mixer},
        mode.headless ? app::IdleDriving::Caller : app::IdleDriving::EventLoop);
    window::closeOnTermination(form.get());
    form->setMixerProgram(options.mixerProgram);
    // The calibration kept for this capture device (the simulated card has its own), and the
    // command line's logic choice kept over it.
    app::MeasurementWindow& measurement = form->measurementWindow();
    measurement.useDevice(card.sim ? QStringLiteral("sim") : options.captureDevice);
    if (options.logic) {
        for (const app::Channel channel : {app::Channel::R, app::Channel::L})
            measurement.setLogic(channel, (*options.logic)[static_cast<size_t>(channel)]);
    }
    if (options.showGenerator) form->design().strip->showGenerator(true);
    form->showWindow();
    return form;
}

// A headless pass: on the simulated card one capture buffer's time passes after it, on ALSA it
// waits for the next driver message first. The clock starts now.
app::HeadlessSteps headlessSteps(app::TForm1& form, platform::MessageLoop& loop,
                                 const SoundCard& card) {
    const auto started = std::chrono::steady_clock::now();
    platform::sim::SimCard* const sim = card.sim.get();
    return {[&form, &loop, sim] {
                if (window::terminationRequested()) throw Terminated{};
                if (sim) {
                    form.idlePass();
                    sim->advance(instrument::kCaptureBufferFrames);
                } else {
                    waitForMessage(loop, kAlsaPassWaitMs);
                    form.idlePass();
                }
            },
            [sim, started] {
                if (sim) return static_cast<double>(sim->now()) / instrument::kCaptureFrameRate;
                return std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                    .count();
            }};
}

// The coupling corners the self-test's loopback found, kept with each channel's calibration for
// the logic channels' restoration.
void keepCouplingCorners(app::TForm1& form, const app::SelfTestOutcome& outcome) {
    app::ChannelCalibration& calibration = form.measurementWindow().calibration();
    for (const app::Channel channel : {app::Channel::R, app::Channel::L}) {
        const auto& corner = outcome.coupling[static_cast<size_t>(channel)];
        if (!corner) continue;
        const QString name = channel == app::Channel::R ? QStringLiteral("R") : QStringLiteral("L");
        if (calibration.setLoopbackCorner(channel, corner->hz)) {
            printLine(stdout, QStringLiteral("soundscope: channel %1's coupling corner kept in %2")
                                  .arg(name, calibration.store().path()));
        } else {
            printLine(stderr,
                      QStringLiteral("soundscope: channel %1's coupling corner not kept: %2")
                          .arg(name, calibration.logNote()));
        }
    }
}

// The self-test on the headless passes, once the generator plays (a slow sound server may answer
// a moment later: the passes' retry opens it then): the table on stdout, exit 0 when it passed.
int selfTest(app::TForm1& form, const Options& options, const SoundCard& card,
             const app::HeadlessSteps& steps) {
    if (!form.startupError().isEmpty()) return kFailureExitStatus;  // showWindow told why
    audio::TAudioOut& playback = *form.instrument().AudioOut1;
    const auto answerBy = std::chrono::steady_clock::now() + kGeneratorAnswerWait;
    while (!playback.DeviceOpen() && notAnswering(playback) &&
           std::chrono::steady_clock::now() < answerBy)
        steps.pass();
    if (!playback.DeviceOpen()) {
        printLine(stderr, QStringLiteral("soundscope: self-test: the generator cannot play on the "
                                         "playback device '%1' (%2)")
                              .arg(card.playbackDevice(options),
                                   QString::fromStdString(playback.LastErrorText())));
        return kFailureExitStatus;
    }
    try {
        const app::SelfTestOutcome outcome = app::runSelfTest(form, steps);
        std::fputs(app::selfTestText(outcome).toLocal8Bit().constData(), stdout);
        keepCouplingCorners(form, outcome);
        const bool written = writeOutputs(form, options);
        return outcome.passed() && written ? 0 : kFailureExitStatus;
    } catch (const Terminated&) {
        printLine(stderr, QStringLiteral("soundscope: self-test: ended by %1 before it was done")
                              .arg(window::terminationSignalName()));
        writeOutputs(form, options);
        return kFailureExitStatus;
    }
}

// --calibrate: each channel named, on the last capture, as the window's dialog does; false after
// telling why on stderr.
bool calibrateChannels(app::TForm1& form, const Options& options) {
    bool ok = true;
    app::MeasurementWindow& window = form.measurementWindow();
    for (const app::Channel channel : {app::Channel::R, app::Channel::L}) {
        const std::optional<double>& volts = options.calibrate[static_cast<size_t>(channel)];
        if (!volts) continue;
        const QString name = channel == app::Channel::R ? QStringLiteral("R") : QStringLiteral("L");
        QString why, logWhy;
        if (!window.calibration().calibrate(channel, measurement::CalibrationFigure::Amplitude,
                                            *volts, why, &logWhy)) {
            printLine(stderr,
                      QStringLiteral("soundscope: --calibrate: channel %1: %2").arg(name, logWhy));
            ok = false;
            continue;
        }
        printLine(stdout, QStringLiteral("soundscope: channel %1 calibrated: %2 V amplitude, kept "
                                         "in %3")
                              .arg(name)
                              .arg(*volts)
                              .arg(window.calibration().store().path()));
    }
    return ok;
}

// The headless passes (fewer when a termination signal comes), then the report and the picture.
int headlessPasses(app::TForm1& form, const Options& options, const RunMode& mode,
                   const SoundCard& card, const app::HeadlessSteps& steps) {
    // As for capture: a playback device that fails is told, once.
    const audio::TAudioOut& playback = *form.instrument().AudioOut1;
    if (!playback.DeviceOpen())
        printLine(stderr,
                  QStringLiteral("soundscope: the playback device '%1' %2 (%3); the generator "
                                 "is silent until it opens")
                      .arg(card.playbackDevice(options),
                           notAnswering(playback) ? QStringLiteral("does not answer")
                                                  : QStringLiteral("cannot be opened"),
                           QString::fromStdString(playback.LastErrorText())));
    for (int pass = 0; pass < mode.passes && !window::terminationRequested(); ++pass) steps.pass();
    // Written before any further message is dispatched: the report shows what the last pass
    // worked on.
    const bool calibrated = calibrateChannels(form, options);
    if (options.measure)
        std::fputs(app::tableText(form.instrument().measured, form.measurementWindow().scales())
                       .toUtf8()
                       .constData(),
                   stdout);
    return writeOutputs(form, options) && calibrated ? 0 : kFailureExitStatus;
}

// The window's event loop until the window closes, then the report and the picture.
int eventLoop(app::TForm1& form, const Options& options) {
    // A signal that came before the event loop (during a start-up box) ends the program here.
    int status = 0;
    if (window::terminationRequested()) {
        form.close();
    } else {
        status = QApplication::exec();
    }
    const bool written = writeOutputs(form, options);
    return status != 0 ? status : (written ? 0 : kFailureExitStatus);
}

int run(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const app::ParsedCommandLine parsed = app::parseCommandLine(arguments);
    if (const std::optional<int> status = answerWithoutRunning(parsed)) return *status;
    const Options& options = parsed.options;
    const RunMode mode = runModeFor(options);

    platform::MessageLoop loop;
    SoundCard card;
    if (!makeSimulatedCard(options, mode, card)) return app::kUsageExitStatus;

    if (mode.headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    setUpApplication(application, options, mode);

    if (const std::optional<int> status = chooseSoundCard(options, mode, loop, card))
        return *status;
    const std::unique_ptr<app::TForm1> form = buildWindow(options, mode, loop, card);
    const app::HeadlessSteps steps = headlessSteps(*form, loop, card);

    if (options.selfTest) return selfTest(*form, options, card, steps);
    if (mode.headless) return headlessPasses(*form, options, mode, card, steps);
    return eventLoop(*form, options);
}

}  // namespace

int main(int argc, char** argv) {
    // What the window does not handle itself (the message loop without its wake-up descriptor,
    // say) ends the program with one clear line instead of the runtime's abort message.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "soundscope: %s\n", e.what());
        return kFailureExitStatus;
    }
}
