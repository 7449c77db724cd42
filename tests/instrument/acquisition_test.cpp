#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "instrument_rig.h"

namespace {

using instrument::Control;
using platform::Direction;
using platform::MMResult;
using platform::sim::makeSilence;
using platform::sim::makeSine;
using platform::sim::makeSquare;
using platform::WaveCall;
using testing_support::InstrumentRig;

constexpr int kRunBuffers = 4;
constexpr int32_t kDesignedBufferBytes = 44100;
// One playback buffer of the generator: 22000 bytes of 16-bit mono.
constexpr uint64_t kPlaybackBufferFrames = instrument::kPlaybackBufferBytes / 2;
constexpr int32_t kDesignedSampleCount = 22050;
constexpr int32_t kSentinel = 0x5A5A;

class AcquisitionTest : public ::testing::Test {
  protected:
    // Counts the buffers the component hands to the instrument.
    void countDeliveries() {
        auto forward = rig.scope.AudioIn1->OnBufferFilled;
        rig.scope.AudioIn1->OnBufferFilled = [this, forward](std::byte* buffer, int32_t& size) {
            ++deliveries;
            return forward(buffer, size);
        };
    }

    void singleShotMode() { rig.scope.PeriodicMode = 0; }

    InstrumentRig rig;
    int deliveries = 0;
};

TEST_F(AcquisitionTest, CaptureIsConfiguredForStereoSixteenBitQuarterSecondBuffers) {
    const audio::TAudioIn& in = *rig.scope.AudioIn1;
    EXPECT_EQ(in.BufferSize(), kDesignedBufferBytes);
    EXPECT_EQ(in.NumBuffers(), kRunBuffers);
    EXPECT_EQ(in.FrameRate(), 44100);
    EXPECT_TRUE(in.Stereo());
    EXPECT_EQ(in.Quantization(), 16);

    // The program's capture check opens the device as the component will.
    const platform::WaveFormat checked = instrument::captureFormat();
    const platform::WaveFormat& opened = in.format();
    EXPECT_EQ(checked.formatTag, opened.formatTag);
    EXPECT_EQ(checked.channels, opened.channels);
    EXPECT_EQ(checked.samplesPerSec, opened.samplesPerSec);
    EXPECT_EQ(checked.avgBytesPerSec, opened.avgBytesPerSec);
    EXPECT_EQ(checked.blockAlign, opened.blockAlign);
    EXPECT_EQ(checked.bitsPerSample, opened.bitsPerSample);
}

TEST_F(AcquisitionTest, ARunDeliversFourBuffersAndTheNextPassStartsANewRun) {
    countDeliveries();
    singleShotMode();
    rig.setSource(makeSquare(50, 10000), makeSine(440, 8000));

    EXPECT_FALSE(rig.idlePass());
    ASSERT_TRUE(rig.scope.AudioIn1->DeviceOpen());

    // Passes during the run do not disturb it.
    EXPECT_EQ(rig.deliver(3), 3);
    rig.idlePass();
    EXPECT_EQ(deliveries, 3);
    EXPECT_TRUE(rig.scope.AudioIn1->DeviceOpen());

    EXPECT_EQ(rig.deliver(1), 1);
    EXPECT_EQ(deliveries, kRunBuffers);
    EXPECT_EQ(rig.scope.SampleCount, kDesignedSampleCount);
    EXPECT_FALSE(rig.scope.AudioIn1->DeviceOpen()) << "the run ends after its four buffers";
    EXPECT_EQ(rig.deliver(1), 0) << "nothing is queued once the run has ended";

    rig.idlePass();
    ASSERT_TRUE(rig.scope.AudioIn1->DeviceOpen());
    EXPECT_EQ(rig.deliver(kRunBuffers), kRunBuffers);
    EXPECT_EQ(deliveries, 2 * kRunBuffers);
    EXPECT_EQ(rig.scope.captureRuns, 2u);
    EXPECT_EQ(rig.scope.drawnBuffers, 0u) << "single-shot passes draw nothing";
}

TEST_F(AcquisitionTest, CapturedFramesLandInterleavedWithChannelRFirst) {
    singleShotMode();
    // Channel R: +10000 for the whole run; channel L: silence.
    rig.setSource(makeSquare(0.1, 10000), makeSilence());
    rig.idlePass();
    rig.deliver(kRunBuffers);

    for (uint32_t k = 0; k < kDesignedSampleCount; k += 2) {
        ASSERT_EQ(rig.scope.RawSamples[k], 10000) << k;
        ASSERT_EQ(rig.scope.RawSamples[k + 1], 0) << k + 1;
    }
    for (uint32_t k = kDesignedSampleCount; k < instrument::kSampleSlots; ++k)
        ASSERT_EQ(rig.scope.RawSamples[k], 0) << "never written: " << k;
}

TEST_F(AcquisitionTest, EveryPassSetsFirstIndexRToOneAndReportsNotDone) {
    for (int32_t mode : {0, 1}) {
        rig.scope.PeriodicMode = mode;
        rig.scope.R.FirstIndex = 500;  // a silent channel R leaves it where the pass put it
        EXPECT_FALSE(rig.idlePass());
        EXPECT_EQ(rig.scope.R.FirstIndex, 1) << "mode " << mode;
    }
}

TEST_F(AcquisitionTest, SingleShotPassesDrawNothingWhileTheReadOutsUpdate) {
    singleShotMode();
    rig.idlePass();
    EXPECT_EQ(rig.panel.text[Control::Edit8], "  f > fmax");

    rig.setSource(makeSquare(50, 10000), makeSquare(50, 10000));
    rig.deliver(kRunBuffers);
    rig.panel.text.clear();
    rig.idlePass();

    EXPECT_TRUE(rig.panel.screen.lines.empty());
    EXPECT_TRUE(rig.panel.screen.texts.empty());
    EXPECT_EQ(rig.panel.repaints, 0);
    EXPECT_EQ(rig.panel.text[Control::Edit4], "2.50 V");
    EXPECT_EQ(rig.panel.text[Control::Edit1], "2.50 V");
    EXPECT_EQ(rig.panel.text[Control::Edit12], "    50 Hz");
    EXPECT_EQ(rig.panel.text[Control::Edit8], "    50 Hz");
    // The L analysis runs first and shows the R peak of the previous pass.
    EXPECT_EQ(rig.panel.text[Control::Edit11], "rmaxl =10000rmaxr =0");
}

TEST_F(AcquisitionTest, ADeviceHeldElsewhereLeavesTheLastReadOuts) {
    singleShotMode();
    rig.setSource(makeSquare(50, 10000), makeSilence());
    rig.idlePass();
    rig.deliver(kRunBuffers);
    rig.idlePass();  // opens the next run and measures the samples of the last one
    rig.deliver(kRunBuffers);
    ASSERT_EQ(rig.panel.text[Control::Edit8], "    50 Hz");

    rig.card.setBusy(Direction::Capture, true);
    rig.setSource(makeSilence(), makeSilence());
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_FALSE(rig.idlePass());
        EXPECT_FALSE(rig.scope.AudioIn1->DeviceOpen());
        rig.deliver(kRunBuffers);
    }
    EXPECT_EQ(rig.panel.text[Control::Edit8], "    50 Hz");
    EXPECT_EQ(rig.panel.text[Control::Edit12], "  f > fmax");

    rig.card.setBusy(Direction::Capture, false);
    rig.now += instrument::kRetryInterval;
    rig.idlePass();
    EXPECT_TRUE(rig.scope.AudioIn1->DeviceOpen());
}

TEST_F(AcquisitionTest, AFailedStartIsTriedOnceMoreInTheSamePass) {
    singleShotMode();
    rig.card.failNext(WaveCall::Open, MMResult::Error);
    rig.idlePass();
    EXPECT_TRUE(rig.scope.AudioIn1->DeviceOpen());
}

// A capture device that fails during a run, or refuses to open, is tried again at kRetryInterval,
// not at every pass, and the notice names it with the reason until it works: an open alone is not
// enough, a buffer must come. A failed run's unfilled buffers are no capture.
TEST_F(AcquisitionTest, AFailingCaptureIsTriedAtItsPaceWithANotice) {
    countDeliveries();
    rig.idlePass();
    rig.deliver(1);
    rig.card.failDevice(Direction::Capture);
    rig.card.setBusy(Direction::Capture, true);
    rig.loop.pump();
    for (int pass = 0; pass < 100; ++pass) rig.idlePass();
    const std::string& notice = rig.panel.text[Control::DeviceNotice];
    EXPECT_EQ(deliveries, 1);
    EXPECT_EQ(rig.driver.captureOpens, 1);
    EXPECT_EQ(notice.find("Zařízení pro záznam „simulated card“ není dostupné: "), 0u) << notice;
    EXPECT_NE(notice.find("the device is gone"), std::string::npos) << notice;

    rig.now += instrument::kRetryInterval;
    rig.idlePass();
    EXPECT_EQ(rig.driver.captureOpens, 3);  // the start and its second try
    EXPECT_NE(notice.find("in use by another program"), std::string::npos) << notice;
    EXPECT_TRUE(rig.panel.visible[Control::DeviceNotice]);
    rig.card.setBusy(Direction::Capture, false);
    rig.now += instrument::kRetryInterval;
    rig.idlePass();
    EXPECT_TRUE(rig.scope.AudioIn1->DeviceOpen());
    EXPECT_TRUE(rig.panel.visible[Control::DeviceNotice]) << "opened, but nothing came yet";
    rig.deliver(1);
    rig.idlePass();
    EXPECT_EQ(deliveries, 2);
    EXPECT_FALSE(rig.panel.visible[Control::DeviceNotice]);
}

// What `body` writes to stderr.
std::string stderrOf(const std::function<void()>& body) {
    std::fflush(stderr);
    FILE* file = std::tmpfile();
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file), STDERR_FILENO);
    body();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::string said;
    std::rewind(file);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) said += static_cast<char>(c);
    std::fclose(file);
    return said;
}

// A line of DeviceNotice is its heading and reason, then what the program does meanwhile on a row
// of its own. It is told on stderr too when it appears (without that row): a line of the same
// heading that replaces it tells nothing more, and one that went and comes back is told again.
TEST_F(AcquisitionTest, EachNoticeLineIsToldOnStderrWhenItAppears) {
    instrument::Instrument& s = rig.scope;
    const std::string& notice = rig.panel.text[Control::DeviceNotice];
    const std::string said = stderrOf([&] {
        s.showMixerNotice({"Směšovač „m“ není dostupný", "první důvod", "Měří se."});
        EXPECT_EQ(notice, "Směšovač „m“ není dostupný: první důvod\nMěří se.");
        s.showMixerNotice({"Směšovač „m“ není dostupný", "druhý důvod", "Měří se."});
        EXPECT_EQ(notice, "Směšovač „m“ není dostupný: druhý důvod\nMěří se.");
        rig.now += instrument::kMixerNoticeTime;
        s.expireMixerNotice();
        EXPECT_FALSE(rig.panel.visible[Control::DeviceNotice]);
        s.showMixerNotice({"Směšovač „m“ není dostupný", "třetí důvod", "Měří se."});
        s.showMixerNotice({"Směšovač „m“ nemá vstup LINE IN", "měří se vstup.", {}});
        EXPECT_EQ(notice, "Směšovač „m“ nemá vstup LINE IN: měří se vstup.");
    });
    EXPECT_EQ(said,
              "soundscope: Směšovač „m“ není dostupný: první důvod\n"
              "soundscope: Směšovač „m“ není dostupný: třetí důvod\n"
              "soundscope: Směšovač „m“ nemá vstup LINE IN: měří se vstup.\n");
}

// A run that gets no buffer for kCaptureStall has failed as one the device ends does: it is closed,
// the notice says that the device does not answer, and the next run waits for the retry. A buffer
// still waiting in the message loop is no stall: the UI thread was late, not the device.
TEST_F(AcquisitionTest, ARunThatGetsNoBufferForTheStallTimeFailsWithANotice) {
    using std::chrono::milliseconds;
    countDeliveries();
    instrument::Instrument& s = rig.scope;
    const std::string& notice = rig.panel.text[Control::DeviceNotice];
    rig.idlePass();
    ASSERT_TRUE(s.AudioIn1->DeviceOpen());
    EXPECT_EQ(s.retryWait(), instrument::kCaptureStall) << "the window wakes to look then";
    rig.now += instrument::kCaptureStall - milliseconds(1);
    rig.idlePass();
    EXPECT_TRUE(s.AudioIn1->DeviceOpen());
    rig.card.completeBuffers(1);  // posted, not yet dispatched
    rig.now += milliseconds(1);
    rig.idlePass();
    EXPECT_TRUE(s.AudioIn1->DeviceOpen()) << "a buffer is waiting";
    rig.loop.pump();
    rig.idlePass();  // sees the buffer: the time starts anew
    rig.now += instrument::kCaptureStall - milliseconds(1);
    rig.idlePass();
    EXPECT_TRUE(s.AudioIn1->DeviceOpen()) << "the buffer renewed the time";
    EXPECT_FALSE(rig.panel.visible[Control::DeviceNotice]);

    rig.now += milliseconds(1);
    rig.idlePass();
    EXPECT_FALSE(s.AudioIn1->DeviceOpen());
    EXPECT_EQ(notice.find("Zařízení pro záznam „simulated card“ není dostupné: The device does "
                          "not answer. (no buffer for 2 s)"),
              0u)
        << notice;
    EXPECT_EQ(s.retryWait(), instrument::kRetryInterval);
    const int opens = rig.driver.captureOpens;
    rig.idlePass();
    EXPECT_EQ(rig.driver.captureOpens, opens) << "paced";
    rig.now += instrument::kRetryInterval;
    rig.idlePass();
    EXPECT_TRUE(s.AudioIn1->DeviceOpen());
    EXPECT_TRUE(rig.panel.visible[Control::DeviceNotice]);
    rig.deliver(1);
    rig.idlePass();
    EXPECT_FALSE(rig.panel.visible[Control::DeviceNotice]);
    EXPECT_EQ(deliveries, 2);
}

// Playback the device ended starts again at the same pace; playback its owner stopped stays off.
TEST_F(AcquisitionTest, PlaybackTheDeviceEndedIsStartedAgainAtItsPace) {
    audio::TAudioOut& out = *rig.scope.AudioOut1;
    // The generator, a layer above, fills the playback in the window; here it plays silence.
    out.OnFillBuffer = [](std::byte* buffer, int32_t& size) {
        std::fill_n(buffer, size, std::byte{0});
        return true;
    };
    ASSERT_TRUE(out.StartDevice(&rig.scope.AudioOut1));
    rig.card.failDevice(Direction::Playback);
    rig.loop.pump();
    rig.idlePass();
    EXPECT_FALSE(out.DeviceOpen());
    EXPECT_EQ(
        rig.panel.text[Control::DeviceNotice].find("Zařízení pro přehrávání „simulated card“"), 0u);
    rig.now += instrument::kRetryInterval;
    rig.idlePass();
    EXPECT_TRUE(out.DeviceOpen());
    EXPECT_TRUE(rig.panel.visible[Control::DeviceNotice]) << "opened, but nothing played yet";
    rig.card.advance(kPlaybackBufferFrames);
    rig.loop.pump();
    rig.idlePass();
    EXPECT_GT(out.DoneCount(), 0);
    EXPECT_FALSE(rig.panel.visible[Control::DeviceNotice]);
    out.StopNow();
    rig.now += instrument::kRetryInterval;
    rig.idlePass();
    EXPECT_FALSE(out.DeviceOpen());
}

TEST_F(AcquisitionTest, SingleShotButtonErasesAndDrawsOneFrameEachClick) {
    rig.idlePass();  // the first redraw applies the ranges
    for (int click = 0; click < 2; ++click) {
        rig.panel.repaints = 0;
        rig.panel.checked[Control::RadioButton1] = true;
        rig.panel.checked[Control::RadioButton2] = true;
        rig.scope.RadioButton2Click();
        EXPECT_EQ(rig.scope.PeriodicMode, 0);
        EXPECT_EQ(rig.panel.repaints, 1);
        EXPECT_FALSE(rig.panel.screen.lines.empty()) << "a frame after the erase";
        EXPECT_FALSE(rig.panel.checked[Control::RadioButton1]);
        EXPECT_FALSE(rig.panel.checked[Control::RadioButton2]);
    }

    rig.panel.screen.clear();
    rig.idlePass();
    EXPECT_TRUE(rig.panel.screen.lines.empty()) << "single-shot passes do not draw";

    rig.scope.RadioButton1Click();
    EXPECT_EQ(rig.scope.PeriodicMode, 1);
    rig.idlePass();
    EXPECT_FALSE(rig.panel.screen.lines.empty());
}

// Buffers handed straight to the capture handler.
class BufferHandlerTest : public ::testing::Test {
  protected:
    BufferHandlerTest() : bytes(88210, std::byte{0x11}) { reset(); }

    void reset() {
        for (uint32_t k = 0; k < instrument::kSampleSlots; ++k)
            rig.scope.RawSamples.set(k, kSentinel);
        rig.scope.SampleCount = kUnchanged;
    }

    bool hand(int32_t size) {
        int32_t handed = size;
        return rig.scope.AudioIn1BufferFilled(bytes.data(), handed);
    }

    static constexpr int32_t kUnchanged = 1234;
    InstrumentRig rig;
    std::vector<std::byte> bytes;
};

struct SizeCase {
    int32_t bytes;
    int32_t sampleCount;  // expected; kUnchanged when the buffer is refused
};

TEST_F(BufferHandlerTest, CopiesWholeValuesOfBuffersThatFit) {
    const SizeCase cases[] = {
        {0, kUnchanged},     {1, kUnchanged}, {-2, kUnchanged}, {88201, kUnchanged},
        {88202, kUnchanged}, {2, 1},          {3, 1},           {44100, 22050},
        {44101, 22050},      {88199, 44099},  {88200, 44100},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes");
        reset();
        const uint64_t captured = rig.scope.capturedBuffers;
        EXPECT_FALSE(hand(c.bytes)) << "the buffer is always declined";
        EXPECT_EQ(rig.scope.SampleCount, c.sampleCount);
        EXPECT_EQ(rig.scope.capturedBuffers - captured, c.sampleCount == kUnchanged ? 0u : 1u);
        const int32_t written = c.sampleCount == kUnchanged ? 0 : c.sampleCount;
        for (uint32_t k = 0; k < instrument::kSampleSlots; ++k) {
            const int32_t expected = static_cast<int32_t>(k) < written ? 0x1111 : kSentinel;
            ASSERT_EQ(rig.scope.RawSamples[k], expected) << "position " << k;
        }
    }
}

TEST_F(BufferHandlerTest, ValuesAreLittleEndianAndSignExtended) {
    const uint8_t values[] = {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0x01, 0x00, 0x34, 0x12};
    for (size_t i = 0; i < sizeof values; ++i) bytes[i] = std::byte{values[i]};
    hand(sizeof values);
    EXPECT_EQ(rig.scope.SampleCount, 5);
    EXPECT_EQ(rig.scope.RawSamples[0], -32768);
    EXPECT_EQ(rig.scope.RawSamples[1], 32767);
    EXPECT_EQ(rig.scope.RawSamples[2], -1);
    EXPECT_EQ(rig.scope.RawSamples[3], 1);
    EXPECT_EQ(rig.scope.RawSamples[4], 0x1234);
    EXPECT_EQ(rig.scope.RawSamples[5], kSentinel);
}

TEST_F(BufferHandlerTest, NoBufferIsNotCopied) {
    int32_t size = kDesignedBufferBytes;
    EXPECT_FALSE(rig.scope.AudioIn1BufferFilled(nullptr, size));
    EXPECT_EQ(rig.scope.SampleCount, kUnchanged);
}

}  // namespace
