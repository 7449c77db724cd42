// The program's own generator end to end on a real sound server: run by tools/with-pulse.sh, which
// makes ALSA's `default` a private PulseAudio whose default source is the monitor of its null sink.
// What the program plays comes back on both inputs, as through a cable from the output to LINE IN.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

struct ProgramRun {
    int exitCode = -1;
    QByteArray out, err;
};

ProgramRun runProgram(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(SOUNDSCOPE_EXE), arguments);
    ProgramRun run;
    // Generous: the self-test takes about 15 s in real time.
    if (!process.waitForFinished(120000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

constexpr const char* kNoServer = "run through tools/with-pulse.sh (CTest test generator_e2e)";

TEST(GeneratorEndToEnd, StartFrequencyIsReadOutOnBothChannels) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << kNoServer;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.json"));
    // 40 passes on ALSA: several seconds, some capture runs after the tone has arrived.
    const ProgramRun run = runProgram({"--passes", "40", "--report", path});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();

    // The frequency read-outs, R's (Edit8) and L's (Edit12), read a sine a few per cent low: 100 Hz
    // within 5%.
    constexpr double kStartHz = 100.0;
    constexpr double kReadoutTolerance = 0.05 * kStartHz;
    for (const char* key : {"Edit8", "Edit12"}) {
        const QString text = report[QLatin1String(key)].toString().trimmed();
        ASSERT_TRUE(text.endsWith(QStringLiteral(" Hz"))) << key << ": " << text.toStdString();
        EXPECT_NEAR(text.chopped(3).toDouble(), kStartHz, kReadoutTolerance) << key;
    }
    // The server mixes at unity gain: the generator's amplitude arrives whole.
    for (const char* key : {"PeakR", "PeakL"})
        EXPECT_EQ(report[QLatin1String(key)].toInt(), 3276) << key;
}

// As a refused capture device is, a refused playback device is one line on stderr; the scope
// measures on.
TEST(GeneratorEndToEnd, AHeadlessRunSaysThatItsPlaybackDeviceIsRefused) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << kNoServer;
    const ProgramRun run = runProgram({"--passes", "2", "--playback-device", "soundscope_no_pcm"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (const char* part :
         {"soundscope: the playback device 'soundscope_no_pcm' cannot be opened (",
          "Unknown PCM soundscope_no_pcm"})
        EXPECT_TRUE(run.err.contains(part)) << part << " in " << run.err.toStdString();
    EXPECT_EQ(run.err.count("the playback device"), 1) << run.err.toStdString();
}

TEST(GeneratorEndToEnd, SelfTestPasses) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << kNoServer;
    const ProgramRun run = runProgram({"--self-test"});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Self-test passed")) << run.out.toStdString();
}

}  // namespace
