// Keeping the devices going: a new capture run once the last has ended, the generator's playback
// again after its device failed, each tried at the retry pace while it fails, and the notice that
// names a failing device with the driver's reason.
#include <string>

#include "instrument/Instrument.h"

namespace instrument {

void Instrument::KeepCaptureRunning() {
    audio::TAudioIn& in = *AudioIn1;
    if (in.DeviceOpen()) return;
    // A start that fails is tried once more at once.
    if (Reopen(in, capturePace_, platform::Direction::Capture,
               [&] { return in.StartDevice(&AudioIn1) || in.StartDevice(&AudioIn1); }))
        ++CaptureRuns;
}

void Instrument::KeepGeneratorPlaying() {
    audio::TAudioOut& out = *AudioOut1;
    // Playback its owner stopped stays stopped; only one its device ended starts again.
    if (out.DeviceOpen() || !out.DeviceFailed()) return;
    Reopen(out, generatorPace_, platform::Direction::Playback,
           [&] { return out.StartDevice(&AudioOut1); });
}

template <typename Start>
bool Instrument::Reopen(const audio::TWaveIO& device, RetryPace& pace,
                        platform::Direction direction, Start start) {
    const TimePoint now = clock_();
    // A run the device ended counts as a failed attempt: the next one waits kRetryInterval.
    if (device.DeviceFailed() && !pace.failing()) {
        pace.failed(now);
        ShowDeviceFailure(direction, device.LastErrorText());
    }
    if (!pace.due(now)) return false;
    if (start()) {
        if (pace.failing()) ShowDeviceFailure(direction, {});
        pace.succeeded();
        return true;
    }
    pace.failed(now);
    ShowDeviceFailure(direction, device.LastErrorText());
    return false;
}

std::optional<std::chrono::milliseconds> Instrument::RetryWait() const {
    std::optional<TimePoint> next;
    for (const RetryPace* pace : {&capturePace_, &generatorPace_})
        if (pace->failing() && (!next || pace->dueAt() < *next)) next = pace->dueAt();
    if (!next) return std::nullopt;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - clock_());
    return std::max(wait, std::chrono::milliseconds{0});
}

void Instrument::ShowDeviceFailure(platform::Direction direction, std::string_view why) {
    const bool capture = direction == platform::Direction::Capture;
    std::string& line = capture ? captureFailure_ : generatorFailure_;
    line.clear();
    if (!why.empty()) {
        line.append(capture ? "Zařízení pro záznam „" : "Zařízení pro přehrávání „")
            .append(driver_.deviceName(direction))
            .append("“ není dostupné: ")
            .append(why)
            .append("\nStále se ho pokouším znovu otevřít…");
    }
    ShowDeviceNotice();
}

}  // namespace instrument
