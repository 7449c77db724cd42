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
            return makeLoopback(card);
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
    return device.DeviceFailed() && device.LastErrorText().starts_with(
                                        platform::standardErrorText(platform::MMResult::NoAnswer));
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
    const app::ReportSource report{form.instrument(), form.controls(), form.idlePasses()};
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

int run(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const app::ParsedCommandLine parsed = app::parseCommandLine(arguments);
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
    const Options& options = parsed.options;

    const bool headless = options.passes.has_value() || options.selfTest || !displayAvailable();
    const int passes = options.passes.value_or(app::kDefaultHeadlessPasses);
    const platform::sim::Clock simClock =
        headless ? platform::sim::Clock::Manual : platform::sim::Clock::Realtime;

    // The simulated card and its signal come first, so that an unreadable file is a usage error
    // reported before anything else is said.
    platform::MessageLoop loop;
    std::unique_ptr<platform::sim::SimCard> simCard;
    if (options.simulated) {
        simCard = std::make_unique<platform::sim::SimCard>(simClock);
        std::string error;
        auto source = simSource(options, *simCard, error);
        if (!source) {
            printLine(stderr,
                      QStringLiteral("soundscope: --sim: ") + QString::fromStdString(error));
            return app::kUsageExitStatus;
        }
        simCard->setSource(std::move(source));
    }

    if (headless) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("soundscope"));
    QApplication::setApplicationVersion(QLatin1String(app::kVersion));
    // Ties the window to the installed desktop entry (its name and icon on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("soundscope"));
    // Before any box is made: Qt's buttons ("Ano"/"Ne") speak the user's language.
    app::installQtTranslations(app, QLocale::system());
    // Before any box too: a signal closes it, and the program ends as the user would end it.
    if (const QString why = window::watchTerminationSignals(); !why.isEmpty()) {
        printLine(stderr, QStringLiteral("soundscope: termination signals will end the program "
                                         "without closing the window (%1)")
                              .arg(why));
    }
    if (headless && !options.passes && !options.selfTest)
        printLine(
            stderr,
            QStringLiteral("soundscope: no display; running %1 idle passes headless").arg(passes));

    std::unique_ptr<platform::alsa::AlsaWaveDriver> alsa;
    if (!simCard) {
        alsa = std::make_unique<platform::alsa::AlsaWaveDriver>(
            options.captureDevice.toStdString(), options.playbackDevice.toStdString());
        std::string why;
        const platform::MMResult opened = captureOpens(*alsa, loop, why);
        if (opened == platform::MMResult::NoAnswer) {
            // Not a device that cannot be opened: the window starts, names it in its notice and
            // keeps trying it.
            if (headless)
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
            const QString failure =
                QStringLiteral("soundscope: the capture device '%1' cannot be opened (%2)")
                    .arg(options.captureDevice, reason);
            bool useSim = !window::terminationRequested();
            if (headless) {
                printLine(stderr, failure + QStringLiteral("; using the simulated card"));
            } else if (useSim) {
                printLine(stderr, failure);  // also with a window, before its question
                useSim =
                    QMessageBox::question(
                        nullptr, QStringLiteral("soundscope"),
                        QStringLiteral("Zvukovou kartu nelze otevřít pro záznam (zařízení "
                                       "„%1“):\n%2\n\nSpustit osciloskop se simulovanou "
                                       "zvukovou kartou?")
                            .arg(options.captureDevice, reason),
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
            }
            if (useSim) {
                alsa.reset();
                simCard = std::make_unique<platform::sim::SimCard>(simClock);
                simCard->setSource(demoSignal());
            }
        }
    }
    platform::WaveDriver& driver = simCard ? static_cast<platform::WaveDriver&>(*simCard) : *alsa;

    // The simulated card has a typical card's mixer unless the user names an ALSA mixer; on ALSA
    // the mixer is the card behind the capture device unless the user names one.
    std::unique_ptr<platform::MixerDriver> mixer;
    if (simCard && options.mixerDevice.isEmpty()) {
        mixer = std::make_unique<platform::sim::SimMixer>();
    } else {
        const std::string device =
            options.mixerDevice.isEmpty()
                ? platform::alsa::mixerDeviceFor(options.captureDevice.toStdString())
                : options.mixerDevice.toStdString();
        mixer = std::make_unique<platform::alsa::AlsaMixerDriver>(device);
    }

    app::TForm1 form(app::Platform{driver, loop, *mixer},
                     headless ? app::IdleDriving::Caller : app::IdleDriving::EventLoop);
    window::closeOnTermination(&form);
    form.setMixerProgram(options.mixerProgram);
    if (options.showGenerator) form.design().Strip->showGenerator(true);
    form.showWindow();

    // A headless pass: on the simulated card one capture buffer's time passes after it, on ALSA it
    // waits for the next driver message first.
    const auto started = std::chrono::steady_clock::now();
    const app::HeadlessSteps steps{
        [&] {
            if (window::terminationRequested()) throw Terminated{};
            if (simCard) {
                form.idlePass();
                simCard->advance(instrument::kCaptureBufferFrames);
            } else {
                waitForMessage(loop, kAlsaPassWaitMs);
                form.idlePass();
            }
        },
        [&] {
            if (simCard) return static_cast<double>(simCard->now()) / instrument::kCaptureFrameRate;
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                .count();
        }};

    audio::TAudioOut& generator = *form.instrument().AudioOut1;
    if (options.selfTest) {
        if (!form.startupError().isEmpty()) return kFailureExitStatus;  // showWindow told why
        // A slow sound server may answer a moment later; the passes' retry opens it then.
        const auto answerBy = std::chrono::steady_clock::now() + kGeneratorAnswerWait;
        while (!generator.DeviceOpen() && notAnswering(generator) &&
               std::chrono::steady_clock::now() < answerBy)
            steps.pass();
        if (!generator.DeviceOpen()) {
            printLine(
                stderr,
                QStringLiteral("soundscope: self-test: the generator cannot play on the "
                               "playback device '%1' (%2)")
                    .arg(simCard ? QStringLiteral("simulated") : options.playbackDevice,
                         QString::fromStdString(form.instrument().AudioOut1->LastErrorText())));
            return kFailureExitStatus;
        }
        try {
            const app::SelfTestOutcome outcome = app::runSelfTest(form, steps);
            std::fputs(app::selfTestText(outcome).toLocal8Bit().constData(), stdout);
            const bool written = writeOutputs(form, options);
            return outcome.passed() && written ? 0 : kFailureExitStatus;
        } catch (const Terminated&) {
            printLine(stderr,
                      QStringLiteral("soundscope: self-test: ended by %1 before it was done")
                          .arg(window::terminationSignalName()));
            writeOutputs(form, options);
            return kFailureExitStatus;
        }
    }

    if (headless) {
        // As for capture: a playback device that fails is told, once.
        if (!generator.DeviceOpen())
            printLine(stderr,
                      QStringLiteral("soundscope: the playback device '%1' %2 (%3); the generator "
                                     "is silent until it opens")
                          .arg(simCard ? QStringLiteral("simulated") : options.playbackDevice,
                               notAnswering(generator) ? QStringLiteral("does not answer")
                                                       : QStringLiteral("cannot be opened"),
                               QString::fromStdString(generator.LastErrorText())));
        for (int pass = 0; pass < passes && !window::terminationRequested(); ++pass) steps.pass();
        // Written before any further message is dispatched: the report shows what the last pass
        // worked on.
        return writeOutputs(form, options) ? 0 : kFailureExitStatus;
    }

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
