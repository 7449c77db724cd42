#include "app/Options.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <cmath>
#include <limits>

#include "app/Version.h"
#include "window/Screenshot.h"

namespace app {

namespace {

const QString kSimOption = QStringLiteral("sim");
const QString kDemoSignal = QStringLiteral("demo");
constexpr int kMaxPasses = std::numeric_limits<int>::max();

QString helpDescription() {
    return QStringLiteral(
        "Two-channel oscilloscope on the sound card's LINE IN: channel R is the card's first\n"
        "(left) input, channel L its second.\n"
        "\n"
        "Without --passes the window opens. With --passes, or when there is no display, the\n"
        "program runs headless: it makes N idle passes (20 when no display and no --passes),\n"
        "writes --report and --screenshot, and exits. On the simulated card each headless pass\n"
        "lets one capture buffer (0.25 s) pass, so a command gives the same report on any\n"
        "machine. With a window, --report and --screenshot are written when it closes.\n"
        "\n"
        "--self-test checks cable, card and mixer: with the card's output connected to LINE IN\n"
        "(or on --sim=loopback), it plays the generator at 100 Hz, 440 Hz, 1 kHz and 2 kHz,\n"
        "captures each on both channels, prints a table of what arrived and exits 0 when every\n"
        "channel shows the frequency set, neither silent nor clipped; otherwise 1. It runs\n"
        "headless.\n"
        "\n"
        "--measure runs headless too and then prints the measurement window's table for the\n"
        "capture on the screen: per channel frequency, period, pulse widths, duty cycle, rise\n"
        "and fall time (each with its minimum, maximum, spread and count over the capture), and\n"
        "the levels in % of full scale; --report holds the same figures as Measurements.\n"
        "\n"
        "--calibrate R=VOLTS takes the amplitude (top minus base) measured on R in the last\n"
        "capture of this run as VOLTS and keeps it as R's calibration for this capture device\n"
        "(R=5.0,L=1.2 for both), as the window's \"kalibrace…\" does; from then on the levels\n"
        "are also in volts. --logic R,L (or R, L, none) marks the channels that carry a logic\n"
        "signal: their base is 0 V and the coupling's droop of their flat parts is undone.\n"
        "Both are kept in ~/.config/soundscope/soundscope.ini and apply to later runs.\n"
        "\n"
        "--sim signals:\n"
        "  demo       the default: a 500 Hz square on R and a 250 Hz sine on L\n"
        "  square     a 500 Hz square on both channels\n"
        "  silence    nothing on either channel\n"
        "  loopback[:linein]\n"
        "             the card's own output on both channels (silent until the generator\n"
        "             plays); with :linein through a 10 Hz coupling high-pass\n"
        "  FILE.wav   a WAV file at 44100 frames/s, stereo or mono, played in a loop\n"
        "  pulse:HZ:DUTY[:linein]\n"
        "             a pulse train on both channels, HZ (up to 22050) with DUTY % high\n"
        "             (above 0, below 100), e.g. pulse:490:25; with :linein as a real LINE IN\n"
        "             delivers it: 10 Hz coupling high-pass, 20 kHz anti-alias low-pass, noise");
}

// QCommandLineParser has no options with an optional value: --sim without a value (at the end,
// or followed by another option) means the demo signal. The program takes no positional
// arguments, so "--sim VALUE" is never ambiguous.
QStringList withSimDefault(QStringList arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--")) break;
        const bool valueFollows =
            i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-'));
        if (arguments[i] == QLatin1String("--sim") && !valueFollows)
            arguments[i] = QStringLiteral("--sim=") + kDemoSignal;
    }
    return arguments;
}

// "pulse:HZ:DUTY" or "pulse:HZ:DUTY:linein" into `pulse`; false when `signal` is none of them or
// a number is out of its range.
bool parsePulse(const QString& signal, SimPulse& pulse) {
    const QStringList parts = signal.split(QLatin1Char(':'));
    if (parts.size() < 3 || parts.size() > 4 || parts[0] != QLatin1String("pulse")) return false;
    if (parts.size() == 4 && parts[3] != QLatin1String("linein")) return false;
    bool frequencyOk = false;
    bool dutyOk = false;
    pulse.frequency = parts[1].toDouble(&frequencyOk);  // C locale: a decimal point
    pulse.dutyPercent = parts[2].toDouble(&dutyOk);
    pulse.lineIn = parts.size() == 4;
    return frequencyOk && dutyOk && pulse.frequency > 0.0 && pulse.frequency <= 22050.0 &&
           pulse.dutyPercent > 0.0 && pulse.dutyPercent < 100.0;
}

// "R", "L" or "R,L" (either order), or "none".
bool parseLogic(const QString& value, std::array<bool, 2>& logic) {
    logic = {false, false};
    if (value == QLatin1String("none")) return true;
    const QStringList parts = value.split(QLatin1Char(','));
    for (const QString& part : parts) {
        const QString p = part.trimmed();
        if (p == QLatin1String("R")) {
            logic[0] = true;
        } else if (p == QLatin1String("L")) {
            logic[1] = true;
        } else {
            return false;
        }
    }
    return true;
}

// "R=VOLTS", "L=VOLTS" or both, comma-separated, each VOLTS above 0.
bool parseCalibrate(const QString& value, std::array<std::optional<double>, 2>& volts) {
    const QStringList parts = value.split(QLatin1Char(','));
    for (const QString& part : parts) {
        const QStringList pair = part.trimmed().split(QLatin1Char('='));
        if (pair.size() != 2) return false;
        const int channel = pair[0] == QLatin1String("R")   ? 0
                            : pair[0] == QLatin1String("L") ? 1
                                                            : -1;
        bool ok = false;
        const double v = pair[1].toDouble(&ok);
        if (channel < 0 || !ok || !std::isfinite(v) || v <= 0.0) return false;
        volts[static_cast<size_t>(channel)] = v;
    }
    return true;
}

ParsedCommandLine failure(const QString& line) {
    ParsedCommandLine result;
    result.outcome = ParsedCommandLine::Outcome::Error;
    result.text = QStringLiteral("soundscope: ") + line;
    return result;
}

}  // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(helpDescription());
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption capture(QStringLiteral("capture-device"),
                                     QStringLiteral("ALSA capture device (default: default)."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption playback(QStringLiteral("playback-device"),
                                      QStringLiteral("ALSA playback device (default: default)."),
                                      QStringLiteral("NAME"));
    const QCommandLineOption mixer(
        QStringLiteral("mixer-device"),
        QStringLiteral("ALSA mixer device (default: the card of the capture device, else the "
                       "first card that can record, else default; with --sim, the simulated "
                       "card's own unless this names one)."),
        QStringLiteral("NAME"));
    const QCommandLineOption mixerProgram(
        QStringLiteral("mixer-program"),
        QStringLiteral("The program the \"mixážní pult\" command starts (default: the first "
                       "found of pavucontrol, qasmixer, and alsamixer in a terminal)."),
        QStringLiteral("COMMAND"));
    const QCommandLineOption sim(
        kSimOption,
        QStringLiteral("Uses the simulated sound card instead of ALSA: --sim alone, or "
                       "--sim SIGNAL (see above; default: demo)."),
        QStringLiteral("SIGNAL"));
    const QCommandLineOption passes(QStringLiteral("passes"),
                                    QStringLiteral("Runs headless for N idle passes (1 to %1; "
                                                   "default: the window opens, or 20 passes "
                                                   "when there is no display).")
                                        .arg(kMaxPasses),
                                    QStringLiteral("N"));
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Writes the read-outs and key state as JSON to FILE (default: none)."),
        QStringLiteral("FILE"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Saves the window as a picture to FILE, in the format its extension names "
                       "(.png, .jpg, .bmp, ...; PNG without one) (default: none)."),
        QStringLiteral("FILE"));
    const QCommandLineOption selfTest(
        QStringLiteral("self-test"),
        QStringLiteral("Checks that the generator's output arrives on both inputs (see above)."));
    const QCommandLineOption measure(
        QStringLiteral("measure"),
        QStringLiteral("Runs headless and prints the measurements of the last capture (see "
                       "above)."));
    const QCommandLineOption generator(
        QStringLiteral("generator"),
        QStringLiteral("Starts with the generator's controls in the bottom strip instead of the "
                       "time shift (F2 switches)."));
    const QCommandLineOption calibrate(
        QStringLiteral("calibrate"),
        QStringLiteral("Runs headless and keeps the amplitude measured on a channel as VOLTS "
                       "(R=VOLTS, L=VOLTS or both; see above) (default: none)."),
        QStringLiteral("CH=VOLTS"));
    const QCommandLineOption logic(
        QStringLiteral("logic"),
        QStringLiteral("Measures the channels named (R,L, R, L or none) as logic signals, and "
                       "keeps the choice (see above) (default: as kept, else none)."),
        QStringLiteral("CHANNELS"));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the version and exits."));
    parser.addOptions({help, version, capture, playback, mixer, mixerProgram, sim, passes, report,
                       screenshot, selfTest, measure, calibrate, logic, generator});

    if (!parser.parse(withSimDefault(arguments))) return failure(parser.errorText());
    if (parser.isSet(help)) {
        ParsedCommandLine result;
        result.outcome = ParsedCommandLine::Outcome::Help;
        result.text = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                QStringLiteral("soundscope"));
        return result;
    }
    if (parser.isSet(version)) {
        ParsedCommandLine result;
        result.outcome = ParsedCommandLine::Outcome::Version;
        result.text = QStringLiteral("soundscope %1\n").arg(QLatin1String(kVersion));
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return failure(QStringLiteral("unexpected argument '%1'")
                           .arg(parser.positionalArguments().constFirst()));

    ParsedCommandLine result;
    Options& o = result.options;
    for (const auto& [option, target] :
         {std::pair{&capture, &o.captureDevice}, std::pair{&playback, &o.playbackDevice},
          std::pair{&mixer, &o.mixerDevice}, std::pair{&mixerProgram, &o.mixerProgram},
          std::pair{&report, &o.reportPath}, std::pair{&screenshot, &o.screenshotPath}}) {
        if (!parser.isSet(*option)) continue;
        *target = parser.value(*option);
        if (target->isEmpty())
            return failure(QStringLiteral("--%1 needs a value").arg(option->names().constFirst()));
    }

    if (!o.screenshotPath.isEmpty() && window::pictureFormat(o.screenshotPath).isEmpty())
        return failure(QStringLiteral("--screenshot: cannot write pictures as .%1 ('%2'); the name "
                                      "must end in %3, or have no extension for PNG")
                           .arg(QFileInfo(o.screenshotPath).suffix(), o.screenshotPath,
                                window::pictureExtensions()));

    if (parser.isSet(sim)) {
        o.simulated = true;
        const QString signal = parser.value(sim);
        if (signal == kDemoSignal) {
            o.simSignal = SimSignal::Demo;
        } else if (signal == QLatin1String("square")) {
            o.simSignal = SimSignal::Square;
        } else if (signal == QLatin1String("silence")) {
            o.simSignal = SimSignal::Silence;
        } else if (signal == QLatin1String("loopback") ||
                   signal == QLatin1String("loopback:linein")) {
            o.simSignal = SimSignal::Loopback;
            o.simLoopbackLineIn = signal.endsWith(QLatin1String(":linein"));
        } else if (signal.startsWith(QLatin1String("pulse:"))) {
            o.simSignal = SimSignal::Pulse;
            if (!parsePulse(signal, o.simPulse))
                return failure(QStringLiteral("--sim: '%1' is no pulse train: pulse:HZ:DUTY or "
                                              "pulse:HZ:DUTY:linein, HZ above 0 and at most "
                                              "22050, DUTY above 0 and below 100")
                                   .arg(signal));
        } else if (signal.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
            o.simSignal = SimSignal::File;
            o.simFile = signal;
        } else {
            return failure(
                QStringLiteral(
                    "--sim: unknown signal '%1' (demo, square, silence, loopback[:linein], "
                    "pulse:HZ:DUTY[:linein] or a FILE.wav)")
                    .arg(signal));
        }
    }

    if (parser.isSet(passes)) {
        bool ok = false;
        const int n = parser.value(passes).toInt(&ok);
        if (!ok || n < 1)  // toInt fails above the largest int
            return failure(QStringLiteral("--passes needs a whole number from 1 to %1, not '%2'")
                               .arg(kMaxPasses)
                               .arg(parser.value(passes)));
        o.passes = n;
    }

    o.showGenerator = parser.isSet(generator);
    o.selfTest = parser.isSet(selfTest);
    if (o.selfTest && o.passes)
        return failure(QStringLiteral("--self-test makes its own passes; leave out --passes"));
    o.measure = parser.isSet(measure);
    if (parser.isSet(calibrate) && !parseCalibrate(parser.value(calibrate), o.calibrate))
        return failure(QStringLiteral("--calibrate needs CH=VOLTS (R=5.0, L=1.2 or both), "
                                      "VOLTS above 0, not '%1'")
                           .arg(parser.value(calibrate)));
    if (parser.isSet(logic)) {
        std::array<bool, 2> channels{};
        if (!parseLogic(parser.value(logic), channels))
            return failure(QStringLiteral("--logic needs R, L, R,L or none, not '%1'")
                               .arg(parser.value(logic)));
        o.logic = channels;
    }
    if (o.selfTest && (o.calibrate[0] || o.calibrate[1]))
        return failure(
            QStringLiteral("--calibrate measures the capture of a headless run; "
                           "leave out --self-test"));
    if (o.selfTest && o.measure)
        return failure(
            QStringLiteral("--self-test and --measure each print a table of their "
                           "own; use one of them"));
    return result;
}

}  // namespace app
