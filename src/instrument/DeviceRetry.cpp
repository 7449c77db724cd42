// Keeping the devices going: a new capture run once the last has ended, the generator's playback
// again after its device failed, each tried at the retry pace while it fails; a capture run that
// gets no buffer given up; and the notice that names a failing device with the driver's reason
// until it works again.
#include <algorithm>
#include <string>

#include "instrument/Instrument.h"

namespace instrument {

namespace {

// Why a capture run that got no buffer failed, as a driver would say it: the device does not
// answer.
audio::WaveError stallReason() {
    constexpr platform::MMResult code = platform::MMResult::NoAnswer;
    return {{},
            {code, platform::standardErrorText(code),
             "no buffer for " + std::to_string(kCaptureStall.count() / 1000) + " s"}};
}

}  // namespace

void Instrument::keepCaptureRunning() {
    audio::TAudioIn& in = *AudioIn1;
    const TimePoint now = clock_();
    if (capturedBuffers != captureSeen_) {  // the device works
        captureSeen_ = capturedBuffers;
        captureProgressAt_ = now;
        if (!captureFailure_.heading.empty()) clearDeviceFailure(platform::Direction::Capture);
    }
    if (in.DeviceOpen()) {
        // Buffers still waiting in the message loop are no stall: the UI thread was busy.
        if (now - captureProgressAt_ < kCaptureStall || loop_.pending() > 0) return;
        in.StopNow();
        capturePace_.failed(now);
        showDeviceFailure(platform::Direction::Capture, stallReason());
        return;
    }
    // A start that fails is tried once more at once.
    if (reopen(in, capturePace_, platform::Direction::Capture,
               [&] { return in.StartDevice(&AudioIn1) || in.StartDevice(&AudioIn1); })) {
        ++captureRuns;
        captureProgressAt_ = now;
    }
}

void Instrument::keepGeneratorPlaying() {
    audio::TAudioOut& out = *AudioOut1;
    if (out.DeviceOpen()) {
        if (out.DoneCount() > 0 && !generatorFailure_.heading.empty())  // the device works
            clearDeviceFailure(platform::Direction::Playback);
        return;
    }
    // Playback its owner stopped stays stopped; only one its device ended starts again.
    if (!out.deviceFailed()) return;
    reopen(out, generatorPace_, platform::Direction::Playback,
           [&] { return out.StartDevice(&AudioOut1); });
}

template <typename Start>
bool Instrument::reopen(const audio::TWaveIO& device, RetryPace& pace,
                        platform::Direction direction, Start start) {
    const TimePoint now = clock_();
    // A run the device ended counts as a failed attempt: the next one waits kRetryInterval.
    if (device.deviceFailed() && !pace.failing()) {
        pace.failed(now);
        showDeviceFailure(direction, device.lastError());
    }
    if (!pace.due(now)) return false;
    if (start()) {
        // The notice stays until the device works: an open that succeeds may still get nothing.
        pace.succeeded();
        return true;
    }
    pace.failed(now);
    showDeviceFailure(direction, device.lastError());
    return false;
}

std::optional<std::chrono::milliseconds> Instrument::retryWait() const {
    std::optional<TimePoint> next;
    const auto sooner = [&](TimePoint at) {
        if (!next || at < *next) next = at;
    };
    for (const RetryPace* pace : {&capturePace_, &generatorPace_})
        if (pace->failing()) sooner(pace->dueAt());
    if (AudioIn1->DeviceOpen()) sooner(captureProgressAt_ + kCaptureStall);
    if (!mixerNotice_.heading.empty()) sooner(mixerNoticeUntil_);
    if (!next) return std::nullopt;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - clock_());
    return std::max(wait, std::chrono::milliseconds{0});
}

void Instrument::showDeviceFailure(platform::Direction direction, const audio::WaveError& why) {
    const bool capture = direction == platform::Direction::Capture;
    setNoticeLine(capture ? captureFailure_ : generatorFailure_,
                  {std::string(capture ? "Zařízení pro záznam „" : "Zařízení pro přehrávání „") +
                       driver_.deviceName(direction) + "“ není dostupné",
                   why.text(), "Stále se ho pokouším znovu otevřít…"});
}

void Instrument::clearDeviceFailure(platform::Direction direction) {
    setNoticeLine(direction == platform::Direction::Capture ? captureFailure_ : generatorFailure_,
                  {});
}

}  // namespace instrument
