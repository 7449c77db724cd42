// The command line: parsing, and the program run headless on the simulated card.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

#include "app/Options.h"
#include "app/Version.h"
#include "support/WindowFixture.h"

namespace {

using app::parseCommandLine;
using app::ParsedCommandLine;
using Outcome = ParsedCommandLine::Outcome;

ParsedCommandLine parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("soundscope"));
    return parseCommandLine(arguments);
}

// --- Parsing

TEST(CommandLine, BadOptionsAndValuesAreNamedOnOneLine) {
    const std::vector<std::pair<QStringList, QString>> cases{
        {{"--bogus"}, "bogus"},
        {{"--passes", "0"}, "--passes"},
        {{"--passes", "-3"}, "--passes"},
        {{"--passes", "many"}, "many"},
        {{"--passes", "99999999999"}, "from 1 to 2147483647"},  // the upper bound named
        {{"--screenshot", "window.gif"}, ".gif ('window.gif'); the name must end in "},
        {{"--passes"}, "--passes"},
        {{"--sim=sawtooth"}, "sawtooth"},
        {{"--sim=pulse:490"}, "pulse:490"},
        {{"--sim=pulse:0:25"}, "pulse:0:25"},
        {{"--sim=pulse:22051:50"}, "pulse:22051:50"},
        {{"--sim=pulse:490:100"}, "pulse:490:100"},
        {{"--sim=pulse:490:25:dc"}, "pulse:490:25:dc"},
        {{"--sim=pulse:490,5:25"}, "pulse:490,5:25"},
        {{"--report="}, "--report"},
        {{"--screenshot", ""}, "--screenshot"},
        {{"stray"}, "stray"},
        {{"--self-test", "--passes", "3"}, "--self-test"},
    };
    for (const auto& [arguments, named] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ParsedCommandLine parsed = parse(arguments);
        EXPECT_EQ(parsed.outcome, Outcome::Error);
        EXPECT_TRUE(parsed.text.contains(named)) << parsed.text.toStdString();
        EXPECT_FALSE(parsed.text.contains('\n'));
    }
}

TEST(CommandLine, SimulatedCardSignals) {
    const std::vector<std::pair<QStringList, app::SimSignal>> cases{
        {{"--sim"}, app::SimSignal::Demo},
        {{"--sim=square"}, app::SimSignal::Square},
        {{"--sim", "square", "--passes", "1"}, app::SimSignal::Square},
        {{"--sim", "--passes", "1"}, app::SimSignal::Demo},
        {{"--sim=silence"}, app::SimSignal::Silence},
        {{"--sim=loopback"}, app::SimSignal::Loopback},
        {{"--sim=take 1.WAV"}, app::SimSignal::File},
        {{"--sim=pulse:490:25"}, app::SimSignal::Pulse},
    };
    for (const auto& [arguments, signal] : cases) {
        const ParsedCommandLine parsed = parse(arguments);
        ASSERT_EQ(parsed.outcome, Outcome::Run) << parsed.text.toStdString();
        EXPECT_TRUE(parsed.options.simulated);
        EXPECT_EQ(parsed.options.simSignal, signal);
    }
    EXPECT_EQ(parse({"--sim=take 1.WAV"}).options.simFile, QStringLiteral("take 1.WAV"));
    const app::SimPulse pulse = parse({"--sim=pulse:49.5:2.5:linein"}).options.simPulse;
    EXPECT_EQ(pulse.frequency, 49.5);
    EXPECT_EQ(pulse.dutyPercent, 2.5);
    EXPECT_TRUE(pulse.lineIn);
    EXPECT_FALSE(parse({"--sim=pulse:490:25"}).options.simPulse.lineIn);
    EXPECT_FALSE(parse({}).options.simulated);
}

TEST(CommandLine, DevicesPassesAndOutputs) {
    const ParsedCommandLine parsed =
        parse({"--capture-device", "hw:1", "--playback-device=plughw:0", "--mixer-device", "hw:2",
               "--mixer-program", "qasmixer -x", "--passes", "7", "--report", "r.json",
               "--screenshot", "s.png"});
    ASSERT_EQ(parsed.outcome, Outcome::Run) << parsed.text.toStdString();
    const app::Options& o = parsed.options;
    EXPECT_EQ(o.captureDevice, QStringLiteral("hw:1"));
    EXPECT_EQ(o.playbackDevice, QStringLiteral("plughw:0"));
    EXPECT_EQ(o.mixerDevice, QStringLiteral("hw:2"));
    EXPECT_EQ(o.mixerProgram, QStringLiteral("qasmixer -x"));
    EXPECT_EQ(o.passes, 7);
    EXPECT_EQ(o.reportPath, QStringLiteral("r.json"));
    EXPECT_EQ(o.screenshotPath, QStringLiteral("s.png"));
    EXPECT_FALSE(o.selfTest);
    EXPECT_EQ(parse({"--passes", "2147483647"}).options.passes, 2147483647);
    for (const char* picture : {"s.jpg", "s.JPEG", "s.bmp", "shot", "dir.d/shot"})
        EXPECT_EQ(parse({"--screenshot", picture}).outcome, Outcome::Run) << picture;
    EXPECT_TRUE(parse({"--sim", "--self-test"}).options.selfTest);
    EXPECT_TRUE(parse({"--generator"}).options.showGenerator);

    const app::Options defaults = parse({}).options;
    EXPECT_EQ(defaults.captureDevice, QStringLiteral("default"));
    EXPECT_TRUE(defaults.mixerDevice.isEmpty()) << "chosen from the capture device";
    EXPECT_FALSE(defaults.passes.has_value());
    EXPECT_FALSE(defaults.showGenerator);
    EXPECT_EQ(parse({"--help"}).outcome, Outcome::Help);
}

TEST(CommandLine, HelpListsEveryOptionAndTheDefaultOfEachThatTakesAValue) {
    const ParsedCommandLine parsed = parse({"--passes", "3", "--help"});
    ASSERT_EQ(parsed.outcome, Outcome::Help);
    // An entry: "  [-h, ]--name[ <VALUE>]  description", wrapped lines up to the next entry.
    static const QRegularExpression entry(
        QStringLiteral("^  (?:-\\w, )?--([a-z-]+)( <\\w+>)?((?:.|\\n(?!  -))*)"),
        QRegularExpression::MultilineOption);
    QStringList names;
    for (const auto& m : entry.globalMatch(parsed.text.section(QStringLiteral("Options:"), 1))) {
        names << m.captured(1);
        EXPECT_TRUE(!m.hasCaptured(2) || m.captured(3).contains(QStringLiteral("default:")))
            << m.captured(0).toStdString();
    }
    names.sort();
    EXPECT_EQ(names,
              QStringList({"calibrate", "capture-device", "generator", "help", "logic", "measure",
                           "mixer-device", "mixer-program", "passes", "playback-device", "report",
                           "screenshot", "self-test", "sim", "version"}));
}

// --- The program

struct ProgramRun {
    int exitCode = -1;
    QByteArray out, err;
};

ProgramRun runProgram(const QStringList& arguments, const QProcessEnvironment& environment =
                                                        QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SOUNDSCOPE_EXE), arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QJsonObject readReport(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

TEST(Program, BadOptionExitsWithStatusTwoAndOneLine) {
    const ProgramRun run = runProgram({"--passes", "1", "--frobnicate"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("frobnicate"));
}

TEST(Program, HelpAndTheProjectVersionNeedNoDisplay) {
    // A platform that needs a display which is not there: creating the application would abort.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const ProgramRun version = runProgram({"--sim", "--version"}, environment);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^soundscope \\d+\\.\\d+\\n$"))
                    .match(QString::fromUtf8(version.out))
                    .hasMatch())
        << version.out.toStdString();
    EXPECT_EQ(version.out, QByteArray("soundscope ") + app::kVersion + '\n');
    const ProgramRun help = runProgram({"--help"}, environment);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("--version"));
}

TEST(Program, UnreadableSoundFileIsAUsageError) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("takes.wav")));
    const std::vector<std::pair<QString, QByteArray>> cases{
        {QStringLiteral("/nonexistent/take.wav"), "take.wav"},
        {dir.filePath(QStringLiteral("takes.wav")), "takes.wav\" cannot be used: it is a folder"}};
    for (const auto& [file, said] : cases) {
        const ProgramRun run = runProgram({"--sim=" + file, "--passes", "1"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(said)) << run.err.toStdString();
    }
}

TEST(Program, HeadlessReportHoldsTheReadOutsAndIsTheSameEveryTime) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString first = dir.filePath(QStringLiteral("first.json"));
    const QString second = dir.filePath(QStringLiteral("second.json"));
    ASSERT_EQ(runProgram({"--sim", "--passes", "20", "--report", first}).exitCode, 0);
    ASSERT_EQ(runProgram({"--sim", "--passes", "20", "--report", second}).exitCode, 0);

    QFile a(first), b(second);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());

    const QJsonObject report = readReport(first);
    for (const char* key :
         {"Edit1",     "Edit4",           "Edit8",       "Edit11",       "Edit12",
          "Edit13",    "Edit14",          "Edit2",       "Edit5",        "Edit18",
          "Edit19",    "FreqL",           "FreqR",       "SampleCount",  "PeakL",
          "PeakR",     "AutoTimeBase",    "TimeStep",    "PointSpacing", "TimeBaseBand",
          "ComboBox1", "FollowGenerator", "TraceStartR", "ChannelShift", "PeriodicMode",
          "RawSamples"})
        EXPECT_TRUE(report.contains(QLatin1String(key))) << key;
    EXPECT_EQ(report[QStringLiteral("SampleCount")].toInt(), 22050);
    EXPECT_EQ(report[QStringLiteral("RawSamples")].toArray().size(), 22050);
    EXPECT_EQ(report[QStringLiteral("Edit14")].toString(), QStringLiteral(" 100 Hz"));
    // The demo signal: a 500 Hz square on R.
    EXPECT_GT(report[QStringLiteral("PeakR")].toInt(), 0);
    EXPECT_NEAR(report[QStringLiteral("FreqR")].toDouble(), 500.0, 25.0);
}

TEST(Program, ReportShowsTheSamplesOfTheLastPass) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.json"));
    ASSERT_EQ(runProgram({"--sim=silence", "--passes", "1", "--report", path}).exitCode, 0);
    const QJsonObject report = readReport(path);
    // One pass works on the start values: no buffer has arrived yet.
    EXPECT_EQ(report[QStringLiteral("SampleCount")].toInt(), 22100);
    EXPECT_EQ(report[QStringLiteral("RawSamples")].toArray().size(), 22100);
}

TEST(Program, WithoutADisplayRunsHeadlessAndEnds) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.json"));
    const ProgramRun run = runProgram({"--sim", "--report", path}, environment);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("headless")) << run.err.toStdString();
    EXPECT_EQ(readReport(path)[QStringLiteral("SampleCount")].toInt(), 22050);
}

TEST(Program, TerminationSignalClosesTheWindowAsTheUserWould) {
    // A window on the simulated card's real clock; offscreen, but run as if a display were there.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":soundscope-test"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.json"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SOUNDSCOPE_EXE), {"--sim", "--report", path});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_FALSE(process.waitForFinished(1500)) << "the window ended by itself";
    process.terminate();  // SIGTERM
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    // The close handler ran and the report was written on the way out.
    EXPECT_GT(readReport(path)[QStringLiteral("IdlePasses")].toInteger(), 0);
}

TEST(Program, CaptureDeviceThatCannotOpenFallsBackToTheSimulatedCardHeadless) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.json"));
    const ProgramRun run = runProgram(
        {"--capture-device", "soundscope_no_such_pcm", "--passes", "20", "--report", path});
    EXPECT_EQ(run.exitCode, 0);
    QList<QByteArray> notes;
    for (const QByteArray& line : run.err.split('\n'))
        if (line.contains("simulated card")) notes << line;
    ASSERT_EQ(notes.size(), 1) << run.err.toStdString();
    EXPECT_TRUE(notes[0].contains("soundscope_no_such_pcm"));
    // The demo signal runs: a 500 Hz square on R.
    EXPECT_GT(readReport(path)[QStringLiteral("PeakR")].toInt(), 0);
}

TEST(Program, WithAWindowACaptureDeviceThatCannotOpenIsALineOnStderrBeforeTheQuestion) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":soundscope-test"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SOUNDSCOPE_EXE), {"--capture-device", "soundscope_no_such_pcm"});
    ASSERT_TRUE(process.waitForStarted());
    const QByteArray line =
        "soundscope: the capture device 'soundscope_no_such_pcm' cannot be opened (";
    QByteArray err;
    for (int wait = 0; wait < 100 && !err.contains(line); ++wait) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    EXPECT_FALSE(process.waitForFinished(200)) << "the question waits for the user";
    process.kill();
    process.waitForFinished();
    err += process.readAllStandardError();
    EXPECT_EQ(err.count(line), 1) << err.toStdString();
    EXPECT_FALSE(err.contains("simulated card")) << "the user has not answered yet";
}

TEST(Program, AnAlsaFailureIsOneLineOfTheProgramWithAlsaLibsReasonInIt) {
    // The system's reason in the user's language, as the program reads it.
    const auto reason = [](int error) { return QByteArray(std::strerror(error)); };
    const std::vector<std::pair<QStringList, QByteArray>> cases{
        {{"--capture-device", "hw:97"},
         "snd_pcm_open(\"hw:97\"): " + reason(EINVAL) + " (alsa-lib: "},
        {{"--capture-device", "null", "--playback-device", "null", "--mixer-device", "no_such_ctl"},
         "snd_mixer_attach(\"no_such_ctl\"): " + reason(ENOENT) +
             " (alsa-lib: Invalid CTL no_such_ctl)"}};
    for (const auto& [arguments, detail] : cases) {
        const ProgramRun run = runProgram(arguments + QStringList{"--passes", "2"});
        EXPECT_FALSE(run.err.contains("ALSA lib")) << run.err.toStdString();
        EXPECT_EQ(run.err.count("soundscope: "), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(detail)) << run.err.toStdString();
    }
}

TEST(Program, ScreenshotIsThePictureOfTheWholeWindow) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("screen.png"));
    ASSERT_EQ(runProgram({"--sim", "--passes", "20", "--screenshot", path}).exitCode, 0);
    const QImage shot(path);
    ASSERT_FALSE(shot.isNull());

    // The same window on the same signal (--sim's demo: a 500 Hz square of 8000 on R, a 250 Hz
    // sine of 8000 on L) after the same passes, in this process.
    using namespace platform::sim;
    window_test::WindowOnSimCard w(makeStereo(makeSquare(500.0, 8000), makeSine(250.0, 8000)));
    w.passes(20);
    EXPECT_EQ(shot.size(), w.form->size());
    // Where no control lies over it, the screen in the picture is the screen drawn here.
    const QImage& screen = w.form->screen().image();
    const QPoint client = w.form->centralWidget()->mapTo(w.form.get(), QPoint(0, 0));
    int differing = 0;
    for (int y = 60; y < 470; ++y)
        for (int x = 60; x < 790; ++x)
            if (shot.pixel(client + QPoint(x, y)) != screen.pixel(x, y)) ++differing;
    EXPECT_EQ(differing, 0);
}

TEST(Program, ScreenshotIsWrittenInTheFormatItsNameAsksFor) {
    QTemporaryDir dir;
    const std::vector<std::pair<const char*, QByteArray>> cases{
        {"s.jpg", "jpeg"}, {"s.JPEG", "jpeg"}, {"s.bmp", "bmp"}, {"s.png", "png"}, {"s", "png"}};
    for (const auto& [name, format] : cases) {
        const QString path = dir.filePath(QLatin1String(name));
        ASSERT_EQ(runProgram({"--sim", "--passes", "1", "--screenshot", path}).exitCode, 0);
        // Told by the file's contents, not by its name.
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        EXPECT_EQ(reader.format(), format) << name;
        EXPECT_FALSE(reader.read().isNull()) << name;
    }
}

TEST(Program, AScreenshotThatCannotBeWrittenSaysWhy) {
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile(plain).open(QIODevice::WriteOnly);
    const QString folder = dir.filePath(QStringLiteral("shot.png"));
    QDir().mkdir(folder);
    const QString missing = dir.filePath(QStringLiteral("missing"));
    const std::vector<std::pair<QString, QString>> cases{
        {missing + QStringLiteral("/s.png"),
         QStringLiteral("the folder %1 does not exist").arg(missing)},
        {plain + QStringLiteral("/s.png"), QStringLiteral("Not a directory")},
        {folder, QStringLiteral("Is a directory")},
        {QStringLiteral("/dev/full"), QStringLiteral("No space left on device")}};
    QProcessEnvironment english = QProcessEnvironment::systemEnvironment();
    english.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));  // the system's reasons
    for (const auto& [path, reason] : cases) {
        const ProgramRun run =
            runProgram({"--sim", "--passes", "1", "--screenshot", path}, english);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(
            run.err.contains(QStringLiteral("soundscope: cannot write the screenshot %1: %2\n")
                                 .arg(path, reason)
                                 .toUtf8()))
            << run.err.toStdString();
        EXPECT_EQ(run.err.count("soundscope: "), 1) << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// --- The self-test on the simulated card

// The table's rows: set Hz, channel, found Hz, peak, peak mV, read-out, result.
QList<QStringList> selfTestRows(const QByteArray& out) {
    static const QRegularExpression row(
        QStringLiteral("^ *(\\d+) +([RL]) +(\\S+) +(\\d+) +(\\d+) +(.+\\S) +(\\S.*)$"));
    QList<QStringList> rows;
    for (const QByteArray& line : out.split('\n'))
        if (const auto m = row.match(QString::fromUtf8(line)); m.hasMatch())
            rows << m.capturedTexts().mid(1);
    return rows;
}

TEST(Program, SelfTestOnTheLoopbackPassesEveryRowInAnyLocale) {
    QProcessEnvironment czech = QProcessEnvironment::systemEnvironment();
    czech.insert(QStringLiteral("LC_ALL"), QStringLiteral("cs_CZ.UTF-8"));
    QProcessEnvironment plain = QProcessEnvironment::systemEnvironment();
    plain.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    const ProgramRun run = runProgram({"--sim=loopback", "--self-test"}, czech);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_EQ(runProgram({"--sim=loopback", "--self-test"}, plain).out, run.out);

    const QList<QStringList> rows = selfTestRows(run.out);
    ASSERT_EQ(rows.size(), 8) << run.out.toStdString();
    const QStringList frequencies{"100", "440", "1000", "2000"};
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList& r = rows[i];
        SCOPED_TRACE(r.join(' ').toStdString());
        EXPECT_EQ(r[0], frequencies[i / 2]);
        EXPECT_EQ(r[1], i % 2 == 0 ? QStringLiteral("R") : QStringLiteral("L"));
        EXPECT_EQ(r[2], frequencies[i / 2] + QStringLiteral(".0"));  // the card is exact
        EXPECT_EQ(r[3], QStringLiteral("3276"));                     // the generator's amplitude
        EXPECT_EQ(r[4], QStringLiteral("110"));
        EXPECT_TRUE(r[5].endsWith(QStringLiteral(" Hz")));  // the read-out, below the display limit
        EXPECT_EQ(r[6], QStringLiteral("ok"));
    }
}

TEST(Program, SelfTestNamesWhatEachFailingChannelSaw) {
    const std::vector<std::pair<const char*, const char*>> cases{
        {"--sim=silence", "silence"},
        {"--sim=square", "wrong frequency: found 500.0 Hz"},  // the fixed 500 Hz square
    };
    for (const auto& [signal, saw] : cases) {
        SCOPED_TRACE(signal);
        const ProgramRun run = runProgram({signal, "--self-test"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(selfTestRows(run.out).size(), 8) << run.out.toStdString();
        for (const char* frequency : {"100", "440", "1000", "2000"})
            for (const char* channel : {"R", "L"})
                EXPECT_TRUE(run.out.contains(
                    QStringLiteral("%1 Hz, channel %2: %3").arg(frequency, channel, saw).toUtf8()))
                    << frequency << " Hz " << channel << "\n"
                    << run.out.toStdString();
    }
}

// --- The measurements in the report and on stdout

QProcessEnvironment inLocale(const char* locale) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
    return environment;
}

TEST(Program, ReportMeasuresThePulseTrainOnBothChannelsInAnyLocale) {
    // The pulse train as sampled (its edges held to the frame: 23 of each period's 90 frames, so
    // 25.56 %) and through the LINE IN model (band-limited edges placed between samples).
    const std::vector<std::tuple<const char*, double, double>> cases{
        {"--sim=pulse:490:25", 25.0 + 0.5 / 0.9, 0.01}, {"--sim=pulse:490:25:linein", 25.0, 0.5}};
    for (const auto& [signal, duty, dutyTolerance] : cases) {
        QByteArray reports[2];
        for (const int czech : {0, 1}) {
            SCOPED_TRACE(std::string(signal) + (czech ? " cs_CZ" : " C"));
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("r.json"));
            ASSERT_EQ(runProgram({signal, "--passes", "10", "--report", path},
                                 inLocale(czech ? "cs_CZ.UTF-8" : "C"))
                          .exitCode,
                      0);
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            reports[czech] = file.readAll();
            const QJsonObject measured = QJsonDocument::fromJson(reports[czech])
                                             .object()[QStringLiteral("Measurements")]
                                             .toObject();
            for (const char* channel : {"R", "L"}) {
                const QJsonObject c = measured[QLatin1String(channel)].toObject();
                const QJsonObject frequency = c[QStringLiteral("Frequency")].toObject();
                EXPECT_NEAR(frequency[QStringLiteral("mean")].toDouble(), 490.0, 490.0 * 5e-4);
                EXPECT_GT(frequency[QStringLiteral("count")].toInt(), 100) << "0.25 s of periods";
                const double period =
                    c[QStringLiteral("Period")][QStringLiteral("mean")].toDouble();
                EXPECT_NEAR(period, 1.0 / 490.0, 1e-6);
                EXPECT_NEAR(c[QStringLiteral("DutyCycle")][QStringLiteral("mean")].toDouble(), duty,
                            dutyTolerance);
                for (const char* statistic :
                     {"PositiveWidth", "NegativeWidth", "RiseTime", "FallTime"})
                    EXPECT_EQ(c[QLatin1String(statistic)].toObject().keys(),
                              (QStringList{"count", "max", "mean", "min", "sigma"}));
                EXPECT_GT(c[QStringLiteral("Amplitude")].toDouble(), 7500.0);  // of 8000
                EXPECT_FALSE(c[QStringLiteral("Clipped")].toBool());
            }
        }
        EXPECT_EQ(reports[0], reports[1]) << "the same report in either locale";
    }
}

TEST(Program, SilenceHasNoTimingAndMeasurePrintsTheTableInAnyLocale) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.json"));
    ASSERT_EQ(runProgram({"--sim=silence", "--passes", "5", "--report", path}).exitCode, 0);
    const QJsonObject r =
        readReport(path)[QStringLiteral("Measurements")][QStringLiteral("R")].toObject();
    for (const char* timing : {"Frequency", "Period", "PositiveWidth", "NegativeWidth", "DutyCycle",
                               "RiseTime", "FallTime"})
        EXPECT_TRUE(r[QLatin1String(timing)].isNull()) << timing;
    EXPECT_EQ(r[QStringLiteral("Rms")].toDouble(), 0.0);

    const ProgramRun czech =
        runProgram({"--sim=pulse:490:25", "--measure"}, inLocale("cs_CZ.UTF-8"));
    ASSERT_EQ(czech.exitCode, 0) << czech.err.toStdString();
    EXPECT_EQ(runProgram({"--sim=pulse:490:25", "--measure"}, inLocale("C")).out, czech.out);
    const QString table = QString::fromUtf8(czech.out);
    EXPECT_EQ(table.count(QStringLiteral("frekvence                     490.00 Hz")), 2) << table;
    EXPECT_EQ(table.count(QStringLiteral("střída                          25.56 %")), 2);
    EXPECT_FALSE(czech.err.contains("no display")) << "asked to run headless";
    EXPECT_EQ(runProgram({"--self-test", "--measure"}).exitCode, 2);
}

// --- Volts and logic levels, kept from one run to the next

// The system's environment with a configuration folder of the test's own.
QProcessEnvironment withConfig(const QTemporaryDir& config, const char* locale = "C") {
    QProcessEnvironment environment = inLocale(locale);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    return environment;
}

TEST(CommandLine, CalibrateAndLogicTakeTheChannelsAndTheirValues) {
    const struct {
        QStringList arguments;
        bool ok;
        std::optional<double> r, l;
        std::optional<std::array<bool, 2>> logic;
    } cases[] = {
        {{"--calibrate", "R=5.0"}, true, 5.0, std::nullopt, std::nullopt},
        {{"--calibrate", "L=1.5,R=3"}, true, 3.0, 1.5, std::nullopt},
        {{"--calibrate", "R=0"}, false, {}, {}, {}},
        {{"--calibrate", "R=-1"}, false, {}, {}, {}},
        {{"--calibrate", "X=5"}, false, {}, {}, {}},
        {{"--calibrate", "R=5,V"}, false, {}, {}, {}},
        {{"--calibrate", "R=nan"}, false, {}, {}, {}},
        {{"--logic", "R,L"}, true, {}, {}, std::array{true, true}},
        {{"--logic", "L"}, true, {}, {}, std::array{false, true}},
        {{"--logic", "none"}, true, {}, {}, std::array{false, false}},
        {{"--logic", "R,Q"}, false, {}, {}, {}},
        {{"--logic", ""}, false, {}, {}, {}},
        {{"--self-test", "--calibrate", "R=5"}, false, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ParsedCommandLine parsed = parse(c.arguments);
        ASSERT_EQ(parsed.outcome == Outcome::Run, c.ok) << parsed.text.toStdString();
        if (!c.ok) {
            EXPECT_EQ(parsed.text.count('\n'), 0);
            continue;
        }
        EXPECT_EQ(parsed.options.calibrate[0], c.r);
        EXPECT_EQ(parsed.options.calibrate[1], c.l);
        EXPECT_EQ(parsed.options.logic, c.logic);
    }
}

QJsonObject channelReport(const QString& path, const char* channel) {
    return readReport(path)[QStringLiteral("Measurements")][QLatin1String(channel)].toObject();
}

TEST(Program, CalibratedOnOneSignalTheNextRunsReadOthersInVoltsWithinOnePercent) {
    QTemporaryDir config, dir;
    const QString report = dir.filePath(QStringLiteral("r.json"));
    // Uncalibrated: no volts, nothing restored.
    ASSERT_EQ(runProgram({"--sim=pulse:100:50:linein", "--passes", "8", "--report", report},
                         withConfig(config))
                  .exitCode,
              0);
    QJsonObject r = channelReport(report, "R");
    for (const char* figure :
         {"TopV", "BaseV", "AmplitudeV", "PeakToPeakV", "MeanV", "RmsV", "CouplingCornerHz"})
        EXPECT_TRUE(r[QLatin1String(figure)].isNull()) << figure;
    EXPECT_FALSE(r[QStringLiteral("LogicLevel")].toBool());
    EXPECT_FALSE(r[QStringLiteral("Restored")].toBool());

    // A 5 V logic signal on R, a 2 V one on L: both channels from one run.
    const ProgramRun calibration = runProgram({"--sim=pulse:50:25:linein", "--passes", "8",
                                               "--logic", "R,L", "--calibrate", "R=5.0,L=2.0"},
                                              withConfig(config));
    ASSERT_EQ(calibration.exitCode, 0) << calibration.err.toStdString();
    EXPECT_TRUE(calibration.out.contains("channel R calibrated")) << calibration.out.toStdString();

    // Later runs, on signals of the same card levels: the volts in the report, the choice of
    // logic kept, the coupling undone with the corner found (the model's 10 Hz).
    for (const char* signal :
         {"--sim=pulse:100:50:linein", "--sim=pulse:50:5:linein", "--sim=pulse:200:70:linein"}) {
        SCOPED_TRACE(signal);
        for (const char* locale : {"C", "cs_CZ.UTF-8"}) {
            const ProgramRun run =
                runProgram({signal, "--passes", "8", "--report", report, "--measure"},
                           withConfig(config, locale));
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
            static const QRegularExpression top(
                QStringLiteral("horní úroveň +(4\\.9[5-9]|5\\.0[0-4])\\d* V\n"));
            EXPECT_EQ(QString::fromUtf8(run.out).count(top), 1) << run.out.toStdString();
        }
        for (const auto& [channel, volts] : {std::pair{"R", 5.0}, std::pair{"L", 2.0}}) {
            r = channelReport(report, channel);
            EXPECT_NEAR(r[QStringLiteral("TopV")].toDouble(), volts, 0.01 * volts) << channel;
            EXPECT_NEAR(r[QStringLiteral("AmplitudeV")].toDouble(), volts, 0.01 * volts);
            EXPECT_NEAR(r[QStringLiteral("BaseV")].toDouble(), 0.0, 0.01 * volts);
            const double duty = r[QStringLiteral("DutyCycle")][QStringLiteral("mean")].toDouble();
            EXPECT_NEAR(r[QStringLiteral("MeanV")].toDouble(), duty / 100 * volts, 0.01 * volts);
            EXPECT_TRUE(r[QStringLiteral("LogicLevel")].toBool());
            EXPECT_TRUE(r[QStringLiteral("Restored")].toBool());
            EXPECT_NEAR(r[QStringLiteral("CouplingCornerHz")].toDouble(), 10.0, 0.5);
        }
    }

    // --logic none: kept off, volts as the signal came (mean 0 through the coupling).
    ASSERT_EQ(runProgram({"--sim=pulse:1000:50:linein", "--passes", "8", "--logic", "none",
                          "--report", report},
                         withConfig(config))
                  .exitCode,
              0);
    r = channelReport(report, "R");
    EXPECT_FALSE(r[QStringLiteral("LogicLevel")].toBool());
    EXPECT_NEAR(r[QStringLiteral("MeanV")].toDouble(), 0.0, 0.05);
    EXPECT_NEAR(r[QStringLiteral("AmplitudeV")].toDouble(), 5.0, 0.1);
}

TEST(Program, ACalibrationThatCannotBeTakenFailsAndKeepsNothing) {
    QTemporaryDir config;
    const ProgramRun run =
        runProgram({"--sim=silence", "--passes", "4", "--calibrate", "R=5"}, withConfig(config));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("channel R: ")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(config.filePath(QStringLiteral("soundscope/soundscope.ini"))));
}

TEST(Program, ADamagedSettingsFileIsNamedOnStderrAndTheRunGoesOn) {
    QTemporaryDir config, dir;
    QDir().mkpath(config.filePath(QStringLiteral("soundscope")));
    const QString ini = config.filePath(QStringLiteral("soundscope/soundscope.ini"));
    {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x7f\x00garbage[[[");
    }
    const QString report = dir.filePath(QStringLiteral("r.json"));
    const ProgramRun run =
        runProgram({"--sim=pulse:490:25", "--passes", "4", "--report", report}, withConfig(config));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(ini.toLocal8Bit())) << run.err.toStdString();
    EXPECT_TRUE(channelReport(report, "R")[QStringLiteral("TopV")].isNull());
}

TEST(Program, TheSelfTestsLoopbackCornerIsKeptAndRestoresTheLogicChannelsOfLaterRuns) {
    QTemporaryDir config, dir;
    const ProgramRun test =
        runProgram({"--sim=loopback:linein", "--self-test"}, withConfig(config));
    ASSERT_EQ(test.exitCode, 0) << test.err.toStdString();
    static const QRegularExpression corner(QStringLiteral(
        "from the amplitudes at 20, 40 and 80 Hz: R ([0-9.]+) Hz .*, L ([0-9.]+) Hz"));
    const auto found = corner.match(QString::fromUtf8(test.out));
    ASSERT_TRUE(found.hasMatch()) << test.out.toStdString();
    for (const int channel : {1, 2})
        EXPECT_NEAR(found.captured(channel).toDouble(), 10.0, 1.0) << "the model's 10 Hz";
    EXPECT_TRUE(test.out.contains("channel R's coupling corner kept"));

    // The pulse train's own droop is not asked: the loopback's corner is preferred.
    const QString report = dir.filePath(QStringLiteral("r.json"));
    ASSERT_EQ(
        runProgram({"--sim=pulse:50:5:linein", "--passes", "8", "--logic", "R", "--report", report},
                   withConfig(config))
            .exitCode,
        0);
    const QJsonObject r = channelReport(report, "R");
    EXPECT_TRUE(r[QStringLiteral("Restored")].toBool());
    EXPECT_NEAR(r[QStringLiteral("CouplingCornerHz")].toDouble(), found.captured(1).toDouble(),
                0.01);
    EXPECT_NEAR(r[QStringLiteral("Base")].toDouble(), 0.0, 0.02 * 8000);
    EXPECT_NEAR(r[QStringLiteral("Top")].toDouble(), 8000.0, 0.03 * 8000);

    // Without a coupling nothing is found, and nothing kept.
    QTemporaryDir plain;
    const ProgramRun dc = runProgram({"--sim=loopback", "--self-test"}, withConfig(plain));
    EXPECT_EQ(dc.exitCode, 0);
    EXPECT_TRUE(dc.out.contains("R none found, L none found")) << dc.out.toStdString();
    EXPECT_FALSE(QFile::exists(plain.filePath(QStringLiteral("soundscope/soundscope.ini"))));
}

}  // namespace
