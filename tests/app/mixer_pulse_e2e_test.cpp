// The main window on a real sound server's control device (ALSA's pulse plugin, a private
// PulseAudio that tools/with-pulse.sh runs): start-up turns the system volume and the desktop's
// input level up and every way of ending puts them back; a server that does not answer (stopped
// by SIGSTOP) delays start-up and the end by no more than the mixer's answer time, and the
// program ends all the same.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/alsa/AlsaMixerThread.h"
#include "support/ServerVolume.h"
#include "support/WindowFixture.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kHalf = 32768;          // 50 % of PulseAudio's volume
constexpr long kFull = 65536;          // 100 %
constexpr long kSixtyPercent = 39321;  // pactl's 60 %

using testing_support::ServerStream;
using testing_support::serverVolume;

void setServerVolumes(const char* sink, const char* source) {
    ASSERT_EQ(std::system((std::string("pactl set-sink-volume @DEFAULT_SINK@ ") + sink).c_str()),
              0);
    ASSERT_EQ(
        std::system((std::string("pactl set-source-volume @DEFAULT_SOURCE@ ") + source).c_str()),
        0);
}

pid_t serverPid() {
    const char* file = std::getenv("WITH_PULSE_PID_FILE");
    QFile pid(QString::fromLocal8Bit(file != nullptr ? file : ""));
    if (file == nullptr || !pid.open(QIODevice::ReadOnly)) return -1;
    return static_cast<pid_t>(pid.readAll().trimmed().toLong());
}

// The server stopped for as long as this lives.
class FrozenServer {
  public:
    FrozenServer() : pid_(serverPid()) {
        EXPECT_GT(pid_, 0) << "run through tools/with-pulse.sh (CTest test mixer_pulse_e2e)";
        if (pid_ > 0) {
            EXPECT_EQ(::kill(pid_, SIGSTOP), 0);
        }
    }
    ~FrozenServer() {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }
    FrozenServer(const FrozenServer&) = delete;
    FrozenServer& operator=(const FrozenServer&) = delete;

  private:
    pid_t pid_;
};

// The window on the simulated wave card with the server's mixer.
struct Window {
    Window() {
        form = std::make_unique<app::TForm1>(app::Backend{card, loop, mixer},
                                             app::IdleDriving::Caller);
        form->showWindow();
    }
    QString notice() const {
        return form->controls().controlText(instrument::Control::DeviceNotice);
    }
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    platform::alsa::AlsaMixerDriver mixer{"default"};
    std::unique_ptr<app::TForm1> form;
};

template <typename Call>
std::chrono::milliseconds timed(Call call) {
    const auto start = Clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST(MixerOnTheServer, StartUpTurnsTheServerUpAndEveryEndingPutsItBack) {
    for (const bool close : {true, false}) {
        SCOPED_TRACE(close ? "window closed" : "window destroyed");
        setServerVolumes("50%", "60%");
        auto w = std::make_unique<Window>();
        // No LINE IN on a server: its recording level is set as LINE's would be.
        EXPECT_EQ(serverVolume(ServerStream::Sink), kFull);
        EXPECT_EQ(serverVolume(ServerStream::Source), kFull);
        EXPECT_TRUE(w->notice().contains(QStringLiteral("nemá vstup LINE IN"))) << w->notice();
        if (close) w->form->close();
        w.reset();
        EXPECT_EQ(serverVolume(ServerStream::Sink), kHalf);
        EXPECT_EQ(serverVolume(ServerStream::Source), kSixtyPercent);
    }
}

// A generous bound: the mixer's answer time, for the driver and for the device, and scheduling.
constexpr std::chrono::milliseconds kBound =
    2 * platform::alsa::kMixerAnswerTime + std::chrono::milliseconds(300);

TEST(MixerOnTheServer, AStoppedServerIsToldAndDelaysStartUpAndTheEndByItsAnswerTimeOnly) {
    std::unique_ptr<Window> w;
    {
        FrozenServer frozen;
        EXPECT_LE(timed([&] { w = std::make_unique<Window>(); }), kBound);
        EXPECT_TRUE(w->notice().contains(QStringLiteral("není dostupný"))) << w->notice();
        EXPECT_TRUE(w->notice().contains(QStringLiteral("does not answer"))) << w->notice();
        EXPECT_TRUE(w->form->idleHandlerInstalled());
        EXPECT_LE(timed([&] { w.reset(); }), kBound);
    }
    // Mid-run: the end's restore is late, and the window still ends in time.
    setServerVolumes("50%", "60%");
    w = std::make_unique<Window>();
    ASSERT_EQ(serverVolume(ServerStream::Sink), kFull);
    {
        FrozenServer frozen;
        EXPECT_LE(timed([&] { w->form->close(); }), kBound);
        EXPECT_LE(timed([&] { w.reset(); }), kBound);
    }
}

// The program itself: it ends although threads of its mixer are stuck inside alsa-lib.
TEST(MixerOnTheServer, TheProgramEndsWhileTheServerIsStopped) {
    QProcess program;
    {
        FrozenServer frozen;
        program.start(QStringLiteral(SOUNDSCOPE_EXE),
                      {QStringLiteral("--sim"), QStringLiteral("--mixer-device"),
                       QStringLiteral("default"), QStringLiteral("--passes"), QStringLiteral("3")});
        ASSERT_TRUE(program.waitForFinished(10000)) << "still running with the server stopped";
    }
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardError().contains("does not answer"));
}

// The self-test on the server, ended by SIGTERM once it has turned the volume up: it says so, the
// report is written and the system volume is as it was.
TEST(MixerOnTheServer, ASelfTestEndedBySigtermPutsTheSystemVolumeBack) {
    setServerVolumes("50%", "60%");
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report.json"));
    QProcess program;
    program.start(QStringLiteral(SOUNDSCOPE_EXE),
                  {QStringLiteral("--self-test"), QStringLiteral("--report"), report});
    QElapsedTimer timer;
    timer.start();
    while (serverVolume(ServerStream::Sink) != kFull && timer.elapsed() < 20000)
        QThread::msleep(50);
    ASSERT_EQ(serverVolume(ServerStream::Sink), kFull)
        << program.readAllStandardError().toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().contains("ended by SIGTERM"));
    EXPECT_TRUE(QFile::exists(report));
    EXPECT_EQ(serverVolume(ServerStream::Sink), kHalf);
    EXPECT_EQ(serverVolume(ServerStream::Source), kSixtyPercent);
}

}  // namespace
