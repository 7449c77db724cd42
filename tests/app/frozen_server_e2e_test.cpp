// The main window on its event loop while its sound server stops answering (SIGSTOP, then SIGCONT
// 10 s later) or goes away (killed, then started again), at start-up and mid-run: run by
// tools/with-pulse.sh. The window keeps answering throughout (a timer's lateness, the probe, stays
// within 200 ms), its notice names the device that fails and why, and capture and the generator
// come back by themselves. The program itself, started on a stopped server, does not take the
// device for one that cannot be opened.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "support/WindowFixture.h"
#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/alsa/AlsaWaveDriver.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr milliseconds kProbeInterval{20};
constexpr milliseconds kLongestStall{200};
constexpr seconds kFreezeTime{10};
constexpr seconds kGoneTime{3};
constexpr seconds kDeadline{30};  // generous: a loaded machine passes too
constexpr const char* kNoServer = "run through tools/with-pulse.sh (CTest frozen_server_e2e)";

pid_t serverPid() {
    pid_t pid = 0;
    std::ifstream(std::getenv("WITH_PULSE_PID_FILE")) >> pid;
    return pid;
}

// How late the event loop answers a timer that should fire every kProbeInterval: the longest time
// between two of its timeouts beyond the interval.
class Probe {
  public:
    Probe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto gap = milliseconds(clock_.restart());
            longest_ = std::max(longest_, gap - kProbeInterval);
        });
        clock_.start();
        timer_.start(kProbeInterval);
    }
    milliseconds longest() const { return longest_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    milliseconds longest_{0};
};

enum class Outage { Frozen, Gone };
enum class When { AtStartUp, MidRun };

struct OutageCase {
    const char* name;
    Outage outage;
    When when;
    const char* reason;  // what the notice gives as the reason, after the device's name
};
void PrintTo(const OutageCase& c, std::ostream* os) {
    *os << c.name;
}

// Starts the server again with tools/with-pulse.sh's control, while the event loop runs on: the
// probe measures the window, not this.
bool restartServer() {
    QProcess control;
    control.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QString::fromLocal8Bit(std::getenv("WITH_PULSE_CONTROL")) +
                                             QStringLiteral(" start")});
    window_test::waitUntil([&] { return control.state() == QProcess::NotRunning; }, 30000);
    return control.exitStatus() == QProcess::NormalExit && control.exitCode() == 0;
}

class ServerOutage : public ::testing::TestWithParam<OutageCase> {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("WITH_PULSE_CONTROL"), nullptr) << kNoServer;
        server_ = serverPid();
        ASSERT_GT(server_, 0);
    }
    void TearDown() override {
        if (frozen_) ::kill(server_, SIGCONT);
        if (gone_) restartServer();
    }
    void breakServer(Outage outage) {
        ASSERT_EQ(::kill(server_, outage == Outage::Frozen ? SIGSTOP : SIGKILL), 0);
        (outage == Outage::Frozen ? frozen_ : gone_) = true;
    }
    void mendServer(Outage outage) {
        if (outage == Outage::Frozen) {
            ASSERT_EQ(::kill(server_, SIGCONT), 0);
            frozen_ = false;
        } else {
            ASSERT_TRUE(restartServer());
            gone_ = false;
            server_ = serverPid();
        }
    }

    pid_t server_ = 0;
    bool frozen_ = false;
    bool gone_ = false;
};

TEST_P(ServerOutage, TheWindowKeepsAnsweringTellsWhyAndCaptureAndTheGeneratorComeBack) {
    const OutageCase& c = GetParam();
    platform::alsa::AlsaWaveDriver driver("default", "default");
    platform::MessageLoop loop;
    // The server's own control device: start-up sets its mixer up, and it waits for the server too.
    std::unique_ptr<platform::alsa::AlsaMixerDriver> mixer;
    std::unique_ptr<app::TForm1> form;
    const auto makeWindow = [&] {
        QElapsedTimer made;
        made.start();
        mixer = std::make_unique<platform::alsa::AlsaMixerDriver>("default");
        form = std::make_unique<app::TForm1>(app::Backend{driver, loop, *mixer},
                                             app::IdleDriving::EventLoop);
        form->showWindow();
        EXPECT_LT(made.elapsed(), 1000) << "the window took that long to appear";
    };
    const auto notice = [&] { return form->design().DeviceNotice->text(); };
    // The generator's 100 Hz comes back through the monitor, read out within 5%, with no device
    // failing (the notice may still tell of the mixer).
    const auto measuring = [&] {
        const instrument::Instrument& s = form->instrument();
        const QString hz = form->design().Edit8->text().trimmed().chopped(3);
        return std::abs(hz.toDouble() - 100) <= 5 &&
               (form->design().DeviceNotice->isHidden() ||
                !notice().contains(QStringLiteral("Zařízení"))) &&
               s.AudioOut1->DeviceOpen() && s.AudioOut1->DoneCount() > 0;
    };

    if (c.when == When::AtStartUp) breakServer(c.outage);
    makeWindow();
    Probe probe;
    if (c.when == When::MidRun) {
        ASSERT_TRUE(window_test::waitUntil(measuring, milliseconds(kDeadline).count()));
        breakServer(c.outage);
    }
    const seconds outage = c.outage == Outage::Frozen ? kFreezeTime : kGoneTime;
    window_test::waitUntil([] { return false; }, milliseconds(outage).count());
    const QString capture = QStringLiteral("Zařízení pro záznam „default“ není dostupné: ") +
                            QString::fromUtf8(c.reason);
    EXPECT_TRUE(notice().contains(capture)) << notice();
    if (c.when == When::AtStartUp) {
        EXPECT_TRUE(notice().contains(QStringLiteral("Zařízení pro přehrávání „default“ není "
                                                     "dostupné: ") +
                                      QString::fromUtf8(c.reason)))
            << notice();
    }

    form->instrument().RawSamples.fill(0);  // read-outs of 100 Hz again come from new buffers
    mendServer(c.outage);
    EXPECT_TRUE(window_test::waitUntil(measuring, milliseconds(kDeadline).count())) << notice();
    EXPECT_LE(probe.longest(), kLongestStall) << "the event loop stalled";
    RecordProperty("longest_stall_ms", static_cast<int>(probe.longest().count()));
    form.reset();
}

INSTANTIATE_TEST_SUITE_P(
    PulseAudio, ServerOutage,
    ::testing::Values(
        OutageCase{"FrozenAtStartUp", Outage::Frozen, When::AtStartUp,
                   "The device does not answer. (snd_pcm_open(\"default\"): no answer for "},
        OutageCase{"FrozenMidRun", Outage::Frozen, When::MidRun,
                   "The device does not answer. (no buffer for 2 s)"},
        OutageCase{"GoneAtStartUp", Outage::Gone, When::AtStartUp,
                   "Undefined external error. (snd_pcm_open(\"default\"): Connection refused"},
        OutageCase{"GoneMidRun", Outage::Gone, When::MidRun,
                   "Undefined external error. (snd_pcm_open(\"default\"): Connection refused"}),
    [](const auto& info) { return std::string(info.param.name); });

// The program started on a stopped server: the capture device does not answer, which is no device
// that cannot be opened, so no simulated card is offered; the passes go on, and once the server
// answers the program measures.
TEST(FrozenServer, TheProgramStartedOnAStoppedServerTakesNoSimulatedCard) {
    ASSERT_NE(std::getenv("WITH_PULSE_CONTROL"), nullptr) << kNoServer;
    const pid_t server = serverPid();
    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    QProcess program;
    program.start(QStringLiteral(SOUNDSCOPE_EXE), {"--passes", "30"});
    ASSERT_TRUE(program.waitForStarted());
    QTimer::singleShot(2000, [server] { ::kill(server, SIGCONT); });
    window_test::waitUntil([&] { return program.state() == QProcess::NotRunning; }, 60000);
    ::kill(server, SIGCONT);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitCode(), 0) << err;
    EXPECT_TRUE(err.contains(QStringLiteral("the capture device 'default' does not answer")))
        << err;
    EXPECT_FALSE(err.contains(QStringLiteral("simulated card"))) << err;
}

}  // namespace
