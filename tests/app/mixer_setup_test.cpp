// The window and the card's mixer: start-up selects LINE IN alone for recording and writes the
// levels, a machine without a usable mixer still measures, closing puts the device volumes back,
// and the mixing desk command starts a program without waiting for it.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

#include "support/WindowFixture.h"
#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/sim/SimMixer.h"

namespace {

using platform::sim::SimDestination;
using platform::sim::SimLine;
using platform::sim::SimMixer;
using platform::sim::SimMixerTree;
namespace component = platform::component;

// What the card holds now for a control of a recognised line.
std::vector<int32_t> cardValues(const SimMixer& mixer, const audio::TSource* line, int32_t index) {
    if (line == nullptr || index < 0) return {};
    return mixer.values(0, line->Controls[static_cast<size_t>(index)]->ControlID);
}

struct OwnWindow {
    explicit OwnWindow(std::vector<SimMixerTree> trees) : mixer(std::move(trees)) {
        form = std::make_unique<app::TForm1>(app::Backend{card, loop, mixer},
                                             app::IdleDriving::Caller);
    }
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    SimMixer mixer;
    std::unique_ptr<app::TForm1> form;
};

TEST(MixerSetUp, StartUpRecordsLineInAloneWithTheLevelsSet) {
    window_test::WindowOnSimCard w;
    const audio::TAudioMixer& m = *w.form->mixer();
    ASSERT_TRUE(m.Active) << w.form->mixerError();
    ASSERT_NE(m.LineRecord, nullptr);
    const audio::TAudioControl& mux =
        *m.RecordDestination->Controls[static_cast<size_t>(m.RecordDestination->SelectIndex)];
    std::vector<int32_t> lineOnly(mux.ItemCount, 0);
    lineOnly[m.LineRecord->SourceIndex] = 1;  // the typical card's MUX maximum
    EXPECT_EQ(cardValues(w.mixer, m.RecordDestination, m.RecordDestination->SelectIndex), lineOnly);
    // Every channel of each level (the typical card's microphone is mono).
    auto level = [&](const audio::TSource* line) {
        const std::vector<int32_t> values = cardValues(w.mixer, line, line->VolumeIndex);
        const bool same =
            !values.empty() &&
            std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) == values.end();
        return same ? values.front() : -1;
    };
    EXPECT_EQ(level(m.WaveOut), 65535);
    EXPECT_EQ(level(m.SpeakersDestination), 65535);
    EXPECT_EQ(level(m.LineRecord), 65535);
    EXPECT_EQ(level(m.MicRecord), 0);
    EXPECT_EQ(level(m.CDRecord), 0);
}

TEST(MixerSetUp, MissingLinesAndAMissingMixerLeaveTheScopeMeasuring) {
    // A card with no CD, telephone or auxiliary recording line, and no mixer at all.
    SimMixerTree sparse;
    SimLine master{component::kDstSpeakers, 2, 0, "Master", "Master", {{}}};
    SimLine capture{component::kDstWaveIn,
                    2,
                    0,
                    "Capture",
                    "Capture",
                    {{},
                     {platform::control::kMux,
                      platform::kControlMultiple | platform::kControlUniform,
                      2,
                      0,
                      1,
                      0,
                      "Input",
                      "Input Source",
                      {"Mic", "Line"},
                      {1, 0}}}};
    sparse.destinations = {
        SimDestination{master, {}},
        SimDestination{capture,
                       {SimLine{component::kSrcMicrophone, 2, 0, "Mic", "Mic", {{}}},
                        SimLine{component::kSrcLine, 2, 0, "Line", "Line", {{}}}}}};
    struct Case {
        const char* name;
        std::vector<SimMixerTree> trees;
        const char* mixerError;
    };
    for (const Case& c :
         std::vector<Case>{{"no CD or telephone line", {sparse}, ""},
                           {"no mixer", {}, "No mixer device present in this system."}}) {
        SCOPED_TRACE(c.name);
        OwnWindow w(c.trees);
        EXPECT_EQ(w.form->mixerError(), QString::fromUtf8(c.mixerError));
        // Told over the screen, with the mixer's text, not in a box that stops the measuring.
        const QString notice = w.form->controls().controlText(instrument::Control::DeviceNotice);
        EXPECT_EQ(notice.contains(QStringLiteral("Směšovač „simulated mixer“ není dostupný: ") +
                                  QString::fromUtf8(c.mixerError)),
                  c.trees.empty())
            << notice;
        EXPECT_EQ(w.form->design().DeviceNotice->isHidden(), !c.trees.empty());
        EXPECT_TRUE(w.form->startupError().isEmpty());
        EXPECT_TRUE(w.form->idleHandlerInstalled());
        EXPECT_TRUE(w.form->instrument().AudioIn1->DeviceOpen()) << "the first capture run started";
        if (!c.trees.empty()) {
            const uint32_t mux = w.mixer.controlId(0, 1, -1, 1);
            EXPECT_EQ(w.mixer.values(0, mux), (std::vector<int32_t>{0, 1}));
        }
    }
}

// Without any mixer device, the notice names the one that was tried and why it failed, in the
// driver's own words after the component's.
TEST(MixerSetUp, NoMixerAtAllIsToldWithTheDriversDetail) {
    platform::alsa::AlsaMixerDriver none("soundscope_no_such_mixer");
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    app::TForm1 form(app::Backend{card, loop, none}, app::IdleDriving::Caller);
    // The reason between the call and alsa-lib's words is the system's, in the user's language.
    const QString error = form.mixerError();
    EXPECT_TRUE(
        error.startsWith(QStringLiteral("No mixer device present in this system. "
                                        "(snd_mixer_attach(\"soundscope_no_such_mixer\"): ")))
        << error.toStdString();
    EXPECT_TRUE(
        error.endsWith(QStringLiteral(" (alsa-lib: Invalid CTL soundscope_no_such_mixer))")))
        << error.toStdString();
    EXPECT_EQ(form.controls().controlText(instrument::Control::DeviceNotice),
              QStringLiteral("Směšovač „soundscope_no_such_mixer“ není dostupný: ") + error +
                  QStringLiteral("\nMěří se se vstupem a úrovněmi, jak je karta má."));
}

// In the window the event loop drives, a mixer that cannot be opened opens no box: the passes run
// on.
TEST(MixerSetUp, AMixerThatCannotBeOpenedOpensNoBox) {
    SimMixer none(std::vector<SimMixerTree>{});
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    app::TForm1 form(app::Backend{card, loop, none}, app::IdleDriving::EventLoop);
    bool boxed = false;
    QTimer::singleShot(0, &form, [&boxed] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            boxed = true;
            box->close();
        }
    });
    form.showWindow();
    const uint64_t passes = form.idlePasses();
    window_test::handlePendingEvents();
    EXPECT_FALSE(boxed);
    EXPECT_GT(form.idlePasses(), passes);
    EXPECT_TRUE(form.design().DeviceNotice->isVisible());
}

// The mixer's notice tells of the start-up and then leaves the screen to the traces: it goes
// after its time, on a pass the window is woken for.
TEST(MixerSetUp, TheMixerNoticeGoesAfterItsTime) {
    SimMixer none(std::vector<SimMixerTree>{});
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    instrument::TimePoint now{};
    app::TForm1 form(app::Backend{card, loop, none, [&now] { return now; }},
                     app::IdleDriving::Caller);
    form.showWindow();
    ASSERT_TRUE(form.design().DeviceNotice->isVisible());
    for (std::chrono::microseconds elapsed{0}; elapsed < instrument::kMixerNoticeTime;
         elapsed += window_test::kBufferTime / 2) {
        EXPECT_TRUE(form.design().DeviceNotice->isVisible()) << elapsed.count() << " µs";
        const auto wake = form.instrument().retryWait();
        ASSERT_TRUE(wake.has_value());
        EXPECT_LE(*wake, instrument::kMixerNoticeTime - elapsed);
        form.idlePass();
        card.advance(window_test::kBufferFrames / 2);
        now += window_test::kBufferTime / 2;
    }
    form.idlePass();
    EXPECT_TRUE(form.design().DeviceNotice->isHidden())
        << form.controls().controlText(instrument::Control::DeviceNotice);
}

TEST(MixerSetUp, ClosingPutsBackTheVolumesOfStartUp) {
    SimMixer mixer;
    mixer.setVolumeDevice(0, 0x11112222);
    mixer.setVolumeDevice(3, 0x33334444);
    mixer.setVolumeDevice(5, std::nullopt);  // the card has no video line
    platform::MessageLoop loop;
    platform::sim::SimCard card;
    app::TForm1 form(app::Backend{card, loop, mixer}, app::IdleDriving::Caller);
    form.show();
    mixer.setWaveOutVolume(0xFFFFFFFF);  // the user turns things up in the mixer program
    mixer.setAuxVolume(3, 0);
    form.close();
    EXPECT_EQ(mixer.volumeDevice(0), 0x11112222u);
    EXPECT_EQ(mixer.volumeDevice(3), 0x33334444u);
    EXPECT_FALSE(mixer.volumeDevice(5).has_value());
}

TEST(MixerSetUp, MixingDeskStartsAProgramWithoutWaitingAndReapsIt) {
    QTemporaryDir bin;
    const QString mark = bin.filePath(QStringLiteral("started"));
    QFile desk(bin.filePath(QStringLiteral("pavucontrol")));
    ASSERT_TRUE(desk.open(QIODevice::WriteOnly));
    desk.write(QStringLiteral("#!/bin/sh\nsleep 0.3\ntouch '%1'\n").arg(mark).toUtf8());
    desk.close();
    desk.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");

    window_test::WindowOnSimCard w;
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
    w.form->design().mixer1->trigger();
    qputenv("PATH", path);
    EXPECT_FALSE(QFile::exists(mark)) << "the window did not wait for the program";
    EXPECT_EQ(w.form->mixerProgramsRunning(), 1u);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mark), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(w.form->mixerProgramsRunning(), size_t{0}, 10000);

    // Nothing to start: nothing happens.
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toLocal8Bit());
    w.form->design().mixer1->trigger();
    qputenv("PATH", path);
    w.form->setMixerProgram(QStringLiteral("/nonexistent/mixer"));
    w.form->design().mixer1->trigger();
    EXPECT_EQ(w.form->mixerProgramsRunning(), 0u);
}

}  // namespace
