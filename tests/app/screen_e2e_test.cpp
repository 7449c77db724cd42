// The main window end to end on a real sound server: run by tools/with-pulse.sh, which makes ALSA's
// `default` a private PulseAudio whose default source is the monitor of its null sink. A square
// played through the driver's playback comes back through LINE IN capture; the window, making its
// idle passes as a headless run on ALSA does, must read out its frequency, pick its time base and
// draw it triggered on a falling edge of R. The capture starts at an arbitrary phase of the tone,
// so nothing below depends on where in the square a buffer begins.

#include <gtest/gtest.h>
#include <poll.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/WindowFixture.h"
#include "app/Report.h"
#include "platform/alsa/AlsaWaveDriver.h"
#include "platform/sim/SimMixer.h"
#include "support/LoopPlayer.h"

namespace {

using platform::Direction;
using platform::MMResult;

constexpr uint32_t kRate = 44100;
// R (the card's first channel): 441 Hz, L: 882 Hz, both inside the trace clamps.
constexpr int kHalfPeriodR = 50;
constexpr int kHalfPeriodL = 25;
constexpr int kAmplitudeR = 8000;
constexpr int kAmplitudeL = 5000;
constexpr int kTonePeriod = 2 * kHalfPeriodR;        // both squares repeat after this many frames
constexpr uint32_t kToneFrames = 220 * kTonePeriod;  // 0.5 s per buffer, 2 s queued ahead
constexpr int kRunBuffers = 4;                       // one capture run of the instrument
constexpr int kBufferValues = 2 * 11025;             // one capture buffer: 0.25 s of stereo frames
// Generous, so that a loaded machine passes too: a run lasts 1 s.
constexpr auto kTimeout = std::chrono::seconds(30);
constexpr int kPassWaitMs = 300;  // as a headless run on ALSA waits for driver messages

int16_t squareR(int frame) {
    return (frame % kTonePeriod) < kHalfPeriodR ? kAmplitudeR : -kAmplitudeR;
}
int16_t squareL(int frame) {
    return (frame % (2 * kHalfPeriodL)) < kHalfPeriodL ? kAmplitudeL : -kAmplitudeL;
}

// Channel R of the samples the last pass worked on: the even positions of RawSamples.
int rAt(const app::TForm1& form, int frame) {
    return form.instrument().RawSamples[2 * static_cast<uint32_t>(frame)];
}

// Whether the last buffer holds both squares sample for sample, from some phase on. A buffer that
// caught a playback dropout (a loaded machine) does not; the passes then go on to the next one.
bool holdsTheSquares(const app::TForm1& form) {
    if (form.instrument().SampleCount != kBufferValues) return false;
    for (int phase = 0; phase < kTonePeriod; ++phase) {
        bool all = true;
        for (int k = 0; all && k < form.instrument().SampleCount / 2; ++k)
            all = rAt(form, k) == squareR(phase + k) &&
                  form.instrument().RawSamples[2 * static_cast<uint32_t>(k) + 1] ==
                      squareL(phase + k);
        if (all) return true;
    }
    return false;
}

TEST(ScreenEndToEnd, SquareOnRIsReadOutAndDrawnFromAFallingEdge) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
        << "run through tools/with-pulse.sh (CTest test screen_e2e)";
    platform::alsa::AlsaWaveDriver driver("default", "default");
    platform::MessageLoop loop;
    testing_support::LoopPlayer player(driver, loop, kToneFrames, [](int frame) {
        return std::pair{squareR(frame), squareL(frame)};
    });
    const std::string playError = player.start();
    ASSERT_TRUE(playError.empty()) << playError;

    platform::sim::SimMixer mixer;  // the sound server's mixer is not what this test is about
    app::TForm1 form(app::Backend{driver, loop, mixer}, app::IdleDriving::Caller);
    form.show();
    ASSERT_TRUE(form.startupError().isEmpty()) << form.startupError();
    // The window's own generator plays into the same sink; the squares are to come back alone.
    form.instrument().AudioOut1->StopNow();
    int delivered = 0;
    form.instrument().AudioIn1->OnBufferFilled =
        [&delivered, handler = form.instrument().AudioIn1->OnBufferFilled](std::byte* buffer,
                                                                           int32_t& size) {
            ++delivered;
            return handler(buffer, size);
        };

    // Passes as a headless run makes them, until one has drawn from a buffer of the squares after
    // at least a whole capture run has come in.
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    bool drawn = false;
    while (!drawn && std::chrono::steady_clock::now() < deadline) {
        pollfd fd{loop.wakeFd(), POLLIN, 0};
        ::poll(&fd, 1, kPassWaitMs);
        ASSERT_TRUE(form.idlePass()) << "the idle handler is not installed";
        drawn = delivered >= kRunBuffers && holdsTheSquares(form);
    }
    ASSERT_TRUE(drawn) << delivered << " buffers delivered; "
                       << form.instrument().AudioIn1->LastErrorText();

    // Read-outs. The measured span runs from the last low sample before a rising edge to one past
    // the first low sample after it: a half period + 2 positions, at 22050 positions per second.
    // R: 22050 / 52 = 424.04 Hz, shown to 10 Hz; L: 22050 / 27 = 816.67 Hz. Any other span would
    // be at least 8 Hz away, so 0.01 Hz tolerates only rounding.
    EXPECT_EQ(form.controls().controlText(instrument::Control::Edit8).toStdString(), "  420 Hz");
    EXPECT_NEAR(form.instrument().R.Freq, 22050.0 / (kHalfPeriodR + 2), 0.01);
    EXPECT_EQ(form.controls().controlText(instrument::Control::Edit12).toStdString(), "  820 Hz");
    EXPECT_NEAR(form.instrument().L.Freq, 22050.0 / (kHalfPeriodL + 2), 0.01);
    EXPECT_EQ(form.instrument().R.Peak, kAmplitudeR);  // the server mixes at unity gain: bit-exact

    // Time base: 424 Hz lies in band 5 (250 to 600 Hz).
    EXPECT_EQ(app::makeReport({form.instrument(), form.controls(),
                               form.idlePasses()})[QStringLiteral("TimeBaseBand")]
                  .toInt(),
              5);
    EXPECT_EQ(form.instrument().TimeBaseLatch[5], 1);
    EXPECT_DOUBLE_EQ(form.instrument().PointSpacing, 3.3);
    EXPECT_EQ(form.instrument().TimeStep, 1);

    // Trigger: the first falling edge of R after its first low sample. TraceStartR lies one before
    // the edge's last high sample, so point 1 (TraceStartR + 1) is that high sample and point 2
    // the first low one.
    int firstLow = 1;
    while (firstLow < form.instrument().SampleCount / 2 && rAt(form, firstLow) >= 0) ++firstLow;
    int lastHigh = firstLow + 1;
    while (lastHigh < form.instrument().SampleCount / 2 &&
           !(rAt(form, lastHigh) > 0 && rAt(form, lastHigh + 1) < 0))
        ++lastHigh;
    EXPECT_EQ(form.instrument().TraceStartR, lastHigh - 1);

    // The screen. Aqua is R's colour only; for each column, the topmost aqua pixel above the
    // zero line (-1: none). Point p of R lies at x = 55 + (p - 1) x 3.3, rounded.
    const QImage& image = form.screen().image();
    const int cy = form.screen().clientHeight() / 2;
    const int width = form.screen().clientWidth();
    const auto topAqua = [&](int x) {
        for (int y = 0; y <= cy; ++y)
            if (image.pixel(x, y) == qRgb(0, 255, 255)) return y;
        return -1;
    };
    const auto xOf = [](int point) {
        return static_cast<int>(std::lround(55 + (point - 1) * 3.3));
    };

    // The high level: the most frequent top well above the zero line. The played amplitude at
    // 0.988 x 0.02 pixels per unit is 158 pixels; +-2 for the display's rounding.
    std::map<int, int> tops;
    for (int x = 0; x < width; ++x)
        if (const int y = topAqua(x); y >= 0 && y < cy - 10) ++tops[y];
    ASSERT_FALSE(tops.empty()) << "no R trace above the zero line";
    const int high =
        std::ranges::max_element(tops, {}, [](const auto& t) { return t.second; })->first;
    EXPECT_NEAR(cy - high, kAmplitudeR * 0.988 * 0.02, 2.0);

    // The trace begins at x = 55 with the edge: point 1 high, then points 2..51 the low half
    // period on the zero line, and the rise to point 52; it then stays high for points 52..101
    // (49 spacings, aqua on every column). +-2 pixels for the rounding of lines.
    for (int x = 0; x < xOf(1); ++x) ASSERT_EQ(topAqua(x), -1) << "x " << x;
    EXPECT_EQ(topAqua(xOf(1)), high);
    for (int x = xOf(2) + 1; x < xOf(1 + kHalfPeriodR); ++x)
        ASSERT_TRUE(topAqua(x) == -1 || topAqua(x) >= cy - 1) << "x " << x;
    int rise = xOf(2) + 1;
    while (rise < width && topAqua(rise) != high) ++rise;
    EXPECT_NEAR(rise, xOf(2 + kHalfPeriodR), 2);
    int fall = rise;
    while (fall < width && topAqua(fall) == high) ++fall;
    EXPECT_NEAR(fall - rise, xOf(1 + 2 * kHalfPeriodR) - xOf(2 + kHalfPeriodR) + 1, 2);
}

}  // namespace
