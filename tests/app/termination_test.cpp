// The program ends on SIGTERM and SIGINT as it ends when its window is closed, whatever it is
// doing: in its window, while the start-up question box is open, in a headless run. It exits
// normally, the report is written and the card's mixer is as it was. Process-level: the built
// soundscope on the simulated wave card with an ALSA mixer on the tests' control-plugin card
// (--sim --mixer-device NAME), the window on a private X server (Xvfb).
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/testcard.h"

namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new testcard::Environment);

constexpr int kWaitMs = 20000;  // generous: the machine may be busy

bool waitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QThread::msleep(20);
    }
    return true;
}

// A private X server for the runs with a window; its display is ":N".
class XServer {
  public:
    XServer() {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) return;
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Xvfb picks a free display and writes its number to descriptor 1.
        server_.start(QStringLiteral("Xvfb"),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), QStringLiteral("1024x768x24"),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (server_.waitForReadyRead(kWaitMs)) {
            display_ = QStringLiteral(":") + QString::fromLatin1(server_.readLine().trimmed());
        }
    }
    ~XServer() {
        server_.terminate();
        server_.waitForFinished(kWaitMs);
    }
    const QString& display() const { return display_; }

    // Whether a top-level window with this title is open.
    bool hasWindow(const QString& title) const {
        QProcess tree;
        tree.start(QStringLiteral("xwininfo"), {QStringLiteral("-display"), display_,
                                                QStringLiteral("-root"), QStringLiteral("-tree")});
        tree.waitForFinished(kWaitMs);
        return tree.readAllStandardOutput().contains(
            ('"' + title + QStringLiteral("\": (")).toUtf8());
    }

  private:
    QProcess server_;
    QString display_;
};

struct Ending {
    const char* name;
    std::vector<const char*> arguments;  // beside --report
    bool window;                         // on the X server; else without a display
    bool questionBox;                    // the signal comes while the start-up question is open
    int signal;
};

void PrintTo(const Ending& run, std::ostream* os) {
    *os << run.name;
}

class Termination : public ::testing::TestWithParam<Ending> {
  protected:
    static void SetUpTestSuite() { x_ = std::make_unique<XServer>(); }
    static void TearDownTestSuite() { x_.reset(); }
    static inline std::unique_ptr<XServer> x_;
};

TEST_P(Termination, EndsNormallyWithTheReportWrittenAndTheMixerAsItWas) {
    const Ending& run = GetParam();
#if defined(__SANITIZE_THREAD__)
    // The X11 stack (libxcb, libX11, GLib, Qt's xcb plugin) is not built with ThreadSanitizer,
    // which then reports its inner workings and ends the program; the first test pass runs these.
    if (run.window) GTEST_SKIP() << "a window on X11 under ThreadSanitizer";
#endif
    if (run.window && x_->display().isEmpty()) GTEST_SKIP() << "no Xvfb to show the window on";
    testcard::Environment::reset();
    const testcard::OtherHandle card(testcard::kSwitchCard);
    const auto before = card.all();

    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report.json"));
    QStringList arguments{QStringLiteral("--mixer-device"),
                          QString::fromLatin1(testcard::kSwitchCard), QStringLiteral("--report"),
                          report};
    for (const char* a : run.arguments) arguments << QString::fromLatin1(a);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (run.window) {
        environment.insert(QStringLiteral("DISPLAY"), x_->display());
    } else {
        environment.remove(QStringLiteral("DISPLAY"));
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SOUNDSCOPE_EXE), arguments);
    ASSERT_TRUE(program.waitForStarted(kWaitMs));

    // Start-up has set the mixer up (Master full), or the question box is open.
    if (run.questionBox) {
        ASSERT_TRUE(waitUntil([&] { return x_->hasWindow(QStringLiteral("soundscope")); }))
            << "no question box";
    } else {
        ASSERT_TRUE(waitUntil([&] {
            return card.read("Master Playback Volume") == std::vector<long>{31, 31};
        })) << program.readAllStandardError().toStdString();
    }
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), run.signal), 0);
    ASSERT_TRUE(program.waitForFinished(kWaitMs));

    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    QFile written(report);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << "no report";
    EXPECT_TRUE(QJsonDocument::fromJson(written.readAll()).isObject());
    EXPECT_EQ(card.all(), before);
}

INSTANTIATE_TEST_SUITE_P(
    WaysOfRunning, Termination,
    ::testing::Values(
        Ending{"WindowSigterm", {"--sim"}, true, false, SIGTERM},
        Ending{"WindowSigint", {"--sim"}, true, false, SIGINT},
        Ending{"QuestionBoxSigterm",
               {"--capture-device", "soundscope_no_such_pcm"},
               true,
               true,
               SIGTERM},
        Ending{"HeadlessSigterm", {"--sim", "--passes", "100000000"}, false, false, SIGTERM},
        Ending{"HeadlessSigint", {"--sim", "--passes", "100000000"}, false, false, SIGINT}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
