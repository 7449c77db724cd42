// The instrument: its state, the capture component and the measurement routines that work on
// them. It talks to the controls and the screen through the front panel it is given, which must
// outlive it; nothing here depends on a widget toolkit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "instrument/CaptureMeasurement.h"
#include "instrument/Fingerprint.h"
#include "instrument/FrontPanel.h"
#include "instrument/InstrumentState.h"
#include "instrument/NumText.h"
#include "instrument/RetryPace.h"
#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"
#include "platform/WaveTypes.h"

namespace instrument {

// The capture configuration of AudioIn1, as the window's design stores it.
inline constexpr int32_t kCaptureBufferBytes = 44100;  // 11025 stereo frames, 0.25 s
inline constexpr int32_t kCaptureBuffers = 4;          // one run: 1 s of sound
inline constexpr int32_t kCaptureFrameRate = 44100;
inline constexpr bool kCaptureStereo = true;
inline constexpr uint16_t kCaptureBits = 16;
inline constexpr uint16_t kCaptureChannels = kCaptureStereo ? 2 : 1;
inline constexpr uint64_t kCaptureBufferFrames =
    kCaptureBufferBytes / (kCaptureChannels * kCaptureBits / 8);

// The PCM format AudioIn1 opens its device with.
platform::WaveFormat captureFormat();

// A capture run that gets no buffer for this long has failed: the device does not answer.
inline constexpr std::chrono::milliseconds kCaptureStall{2000};

// How long the mixer's line of DeviceNotice stays: it tells of the start-up, once, and then leaves
// the screen to the traces.
inline constexpr std::chrono::milliseconds kMixerNoticeTime{15000};

// The playback configuration of AudioOut1: the generator's sine, mono.
inline constexpr int32_t kPlaybackBufferBytes = 22000;  // 11000 frames, 0.249 s
inline constexpr int32_t kPlaybackBuffers = 4;
inline constexpr int32_t kPlaybackFrameRate = 44100;
inline constexpr bool kPlaybackStereo = false;
inline constexpr uint16_t kPlaybackBits = 16;

// One line of DeviceNotice: what keeps the instrument from its card (the heading), why, and what
// the program does meanwhile, a second row where there is one. No heading: no line.
struct NoticeLine {
    std::string heading;
    std::string reason;
    std::string consequence;
};

class Instrument {
  public:
    // `clock` paces the attempts to open a device that failed (empty: the steady clock).
    Instrument(FrontPanel& panel, platform::WaveDriver& driver, platform::MessageLoop& loop,
               Clock clock = {});
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Capture and sample storage. A member marked "carried" is read by an idle pass after an
    // earlier pass wrote it, and so is part of the pass fingerprint (fingerprintPassState).
    SampleArray RawSamples;
    int32_t SampleCount = kStartSampleCount;  // carried
    Word ScanIndex = 0;                       // carried
    Word RawIndex = 0;                        // carried
    // What the traces on the screen were drawn from: set by each drawing pass (DrawTraces).
    DrawnCapture screenCapture;
    // Both channels of screenCapture measured, once per capture it holds (measureScreenCapture): an
    // output for the measurement window, the report and the log, which no routine reads back.
    CaptureMeasurement measured;

    // The two channels: SamplesL is L.Samples, FreqR is R.Freq (see ChannelState).
    ChannelState L{kWiringL};
    ChannelState R{kWiringR};

    // Display, mode and control state.
    Word TraceStartR = 0;                     // carried
    int32_t PeriodicMode = kPeriodicDisplay;  // carried
    Word FollowGenerator = kFollowMeasured;
    int32_t AutoTimeBase = kAutomatic;
    LatchFlags<kTimeBands> TimeBaseLatch;  // carried
    int32_t TimeStep = kStartTimeStep;     // carried
    double PointSpacing = 0.0;             // carried
    double GridUnitX = 0.0;                // carried
    int32_t GridVisible = kGridShown;
    Word GridBrightness = kStartGridBrightness;
    int32_t ChannelShift = kStartChannelShift;  // carried
    // The generator's values: its panel sets them, its fill handler reads them, and so do the
    // frequency read-outs and the time base that follow the generator.
    int32_t GeneratorFrequency = kStartGeneratorFrequency;
    int32_t GeneratorAmplitude = kStartGeneratorAmplitude;
    // The amplitude list's "off": the output is silent whatever GeneratorAmplitude holds.
    bool generatorOff = false;
    NumText40 NumText;

    // Acquisition counters: the buffers copied into RawSamples, the capture runs opened (by the
    // idle passes and the frequency bar's start request alike), and the periodic passes that drew a
    // buffer no pass had drawn before. While the display is periodic every captured buffer is
    // drawn: drawnBuffers reaches capturedBuffers at the first pass after each delivery.
    uint64_t capturedBuffers = 0;
    uint64_t captureRuns = 0;
    uint64_t drawnBuffers = 0;

    // 44100 frames/s, 16-bit stereo, 4 x 44100 bytes. Declared after the state its handler writes
    // into, so that it is gone (its device closed) before that state is.
    std::unique_ptr<audio::TAudioIn> AudioIn1;
    // 44100 frames/s, 16-bit mono, 4 x 22000 bytes: the generator's output. The generator, a
    // layer above, is its fill handler.
    std::unique_ptr<audio::TAudioOut> AudioOut1;

    // Acquisition cycle. MyIdleEvent always reports not done: whether a pass over the same input
    // changed anything shows only in what it left behind, which the window's IdleSettle compares.
    bool AudioIn1BufferFilled(std::byte* Buffer, int32_t& Size);
    void MyIdleEvent(bool& Done);
    // Folds in the state an idle pass writes and the next pass reads again (the channels' arrays
    // and measurements, the trigger position, the time base in force): equal fingerprints after
    // two passes over the same input mean that a further pass would repeat the last one.
    void fingerprintPassState(Fingerprint& fingerprint) const;
    // Folds in what an idle pass reads that no pass wrote: the captured buffers, the state of the
    // capture and playback devices as the pass looks at it, whether messages wait, and whether a
    // timed step (a retry, the stall of a run, the mixer notice's end) is due.
    void fingerprintPassInputs(Fingerprint& fingerprint) const;
    // Steps of the idle pass: a new capture run once the last has ended, and the generator's
    // playback again after its device failed; a device that fails is tried at kRetryInterval,
    // and DeviceNotice names it with the reason until it works again (a capture buffer arrives,
    // the playback finishes one). A run that gets no buffer for kCaptureStall has failed.
    // keepCaptureRunning is the one way into the capture device: every capture start request
    // goes through it, so that every open is paced and counted.
    void keepCaptureRunning();
    void keepGeneratorPlaying();
    // How long until a failing device is due to be tried again, a capture run that gets no
    // buffer is given up, or the mixer's notice goes (zero: due now); none while none of them can
    // come: the window wakes its idle passes then, as nothing else may.
    std::optional<std::chrono::milliseconds> retryWait() const;
    void RadioButton1Click();
    void RadioButton2Click();
    // The mixer's line of DeviceNotice, beside the devices' lines: why the card's mixer cannot be
    // set up for measuring; no heading: none. It goes after kMixerNoticeTime (expireMixerNotice).
    void showMixerNotice(NoticeLine line);
    // Step of the idle pass: the mixer's notice goes once its time is up.
    void expireMixerNotice();

    // Channel analysis.
    void AnalyseChannelL();
    void AnalyseChannelR();

    // Frequency measurement.
    void MeasureFrequencyL() { MeasureFrequency(L); }
    void MeasureFrequencyR() { MeasureFrequency(R); }
    void MeasurePeriodL() { MeasurePeriod(L); }
    void MeasurePeriodR() { MeasurePeriod(R); }
    void FindFirstPositiveL() { FindFirstPositive(L); }
    void FindFirstPositiveR() { FindFirstPositive(R); }

    // Vertical ranges.
    void ApplyRangeL() { ApplyRange(L); }
    void ApplyRangeR() { ApplyRange(R); }

    // Graticule and time base.
    void ApplyTimeBase();
    // The band the time base selects now: from R's frequency, or ComboBox1's band; 0 for none.
    int selectedBand() const;
    // The band in force on the screen: the one ApplyTimeBase applied last; 0 before the first.
    int bandInForce() const { return TimeBaseLatch.latched(); }
    void DrawScales();
    void DrawGrid();
    void DrawTimeScale(int set);  // label sets 1..7
    void ComboBox1Click();

    // Traces and trigger.
    void DrawTraces();
    // Step of DrawTraces once it has kept screenCapture: measures it into `measured` when it holds
    // a capture not measured yet (a new buffer, or a new length); allocates nothing.
    void measureScreenCapture();
    // How each channel is measured from now on; the capture on the screen is measured again
    // when the choices change.
    void setMeasureChoices(const ChannelChoices& choices);
    const ChannelChoices& measureChoices() const { return measureChoices_; }
    void FindFirstNegativeR();
    void file1Click();
    // ChannelShift from ScrollBar3's position.
    void readChannelShift();
    void ScrollBar3Change();
    void ComboBox4Click();

  private:
    // Each routine once, over one channel's state.
    void AnalyseChannel(ChannelState& c);
    void MeasureFrequency(ChannelState& c);
    void MeasurePeriod(ChannelState& c);
    void FindFirstPositive(ChannelState& c);
    void buildEnvelope(ChannelState& c);
    void ApplyRange(ChannelState& c);
    // The line of DeviceNotice for `direction` while the device fails, with the reason `why`;
    // clearDeviceFailure takes it away once the device works.
    void showDeviceFailure(platform::Direction direction, const audio::WaveError& why);
    void clearDeviceFailure(platform::Direction direction);
    // `line` becomes `next`, and DeviceNotice shows it. A line whose heading was not shown before
    // (a device that starts failing, the mixer's notice) is told on stderr too, once.
    void setNoticeLine(NoticeLine& line, NoticeLine next);
    // DeviceNotice shows its lines, the devices' and the mixer's, or hides when there are none.
    void showDeviceNotice();
    // One paced attempt to open `device` by `start`: whether it opened.
    template <typename Start>
    bool reopen(const audio::TWaveIO& device, RetryPace& pace, platform::Direction direction,
                Start start);

    FrontPanel& panel_;
    uint64_t drawnCapture_ = 0;  // capturedBuffers when a periodic pass last drew
    CaptureKey measuredKey_;     // the capture `measured` holds; carried
    ChannelChoices measureChoices_;
    platform::WaveDriver& driver_;
    platform::MessageLoop& loop_;
    Clock clock_;
    RetryPace capturePace_, generatorPace_;
    uint64_t captureSeen_ = 0;       // capturedBuffers when the capture last made progress
    TimePoint captureProgressAt_{};  // then, or when the run opened
    NoticeLine captureFailure_, generatorFailure_;  // DeviceNotice's lines
    NoticeLine mixerNotice_;
    TimePoint mixerNoticeUntil_{};  // while mixerNotice_ shows
};

}  // namespace instrument
