// The main window end to end while its sound server goes away and comes back (tools/with-pulse.sh
// lets it kill the server by its PID and start it again), passing as fast as an idle event loop.
#include <gtest/gtest.h>
#include <poll.h>

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/WindowFixture.h"
#include "audio/wave_test_support.h"
#include "platform/alsa/AlsaWaveDriver.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(30);  // generous: a loaded machine passes too

TEST(ServerRestartEndToEnd, CaptureAndPlaybackComeBackAfterANoticeAndPacedOpens) {
    const char* control = std::getenv("WITH_PULSE_CONTROL");
    ASSERT_NE(control, nullptr) << "run through tools/with-pulse.sh (CTest server_restart_e2e)";
    const std::string errors = testing::TempDir() + "server_restart_stderr";
    ASSERT_NE(std::freopen(errors.c_str(), "w", stderr), nullptr);
    platform::alsa::AlsaWaveDriver alsa("default", "default");
    wave_test::CountingDriver driver(alsa);
    platform::MessageLoop loop;
    platform::sim::SimMixer mixer;
    app::TForm1 form(app::Backend{driver, loop, mixer}, app::IdleDriving::Caller);
    form.show();
    instrument::Instrument& s = form.instrument();
    const QLabel& notice = *form.design().DeviceNotice;
    const auto passUntil = [&](auto done, Clock::duration limit) {
        for (const auto end = Clock::now() + limit; !done() && Clock::now() < end;) {
            pollfd fd{loop.wakeFd(), POLLIN, 0};
            ::poll(&fd, 1, 1);
            form.idlePass();
        }
        return done();
    };
    // The generator's 100 Hz comes back through the monitor, read out within 5%.
    const auto measuring = [&] {
        const QString hz = form.design().Edit8->text().trimmed().chopped(3);
        return std::abs(hz.toDouble() - 100) <= 5 && !notice.isVisible() &&
               s.AudioOut1->DeviceOpen() && s.AudioOut1->DoneCount() > 0;
    };
    ASSERT_TRUE(passUntil(measuring, kDeadline));

    pid_t server = 0;
    ASSERT_TRUE(std::ifstream(std::getenv("WITH_PULSE_PID_FILE")) >> server);
    ASSERT_EQ(::kill(server, SIGKILL), 0);
    const auto bothFail = [&] { return notice.text().count(QStringLiteral("není dostupné")) == 2; };
    ASSERT_TRUE(passUntil(bothFail, kDeadline)) << notice.text().toStdString();
    const int opens = driver.opens;
    passUntil([] { return false; }, std::chrono::seconds(3));
    EXPECT_GE(driver.opens - opens, 2) << "it keeps trying";
    EXPECT_LE(driver.opens - opens, 30) << "at most 10 opens a second";
    // The notice gave the failed runs' reasons first; by now it gives the refused opens'.
    for (const char* wanted : {"Zařízení pro záznam „default“ není dostupné: ",
                               "Zařízení pro přehrávání „default“ není dostupné: ",
                               "snd_pcm_open(\"default\"): Connection refused"})
        EXPECT_TRUE(notice.text().contains(QString::fromUtf8(wanted)))
            << notice.text().toStdString();

    s.RawSamples.fill(0);  // read-outs of 100 Hz again can only come from new buffers
    ASSERT_EQ(std::system((std::string(control) + " start").c_str()), 0);
    EXPECT_TRUE(passUntil(measuring, kDeadline)) << notice.text().toStdString();
    std::fflush(stderr);
    EXPECT_LE(std::filesystem::file_size(errors), 2000u) << "stderr is not flooded";
}

}  // namespace
