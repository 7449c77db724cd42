#include "app/SelfTest.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

#include "app/TForm1.h"
#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "generator/OutputLevel.h"
#include "instrument/Instrument.h"
#include "measurement/LoopbackCorner.h"
#include "window/Controls.h"

namespace app {

using generator::millivolts;

namespace {

// The hysteresis band: a rising crossing counts once the signal has been at or below -band and
// then reaches +band. An eighth of the channel's peak keeps clear of noise riding on the signal;
// the floor, half the silence threshold, keeps the noise of an idle input from counting at all
// while the faintest sine that is not silence still reaches it.
constexpr int kHysteresisDivisor = 8;
constexpr int kHysteresisFloor = kSilencePeak / 2;

// A period is irregular when it differs from the median one by more than this fraction of it, or
// by more than kIrregularFrames, whichever is more: noise moves a crossing by a frame or so, which
// at 2 kHz (5.5 frames a period) is a large fraction.
constexpr double kIrregularFraction = 0.1;
constexpr double kIrregularFrames = 2.0;

constexpr int kSampleMax = std::numeric_limits<int16_t>::max();
constexpr int kSampleMin = std::numeric_limits<int16_t>::min();

// ComboBox8's item "10 Hz až 20 kHz": the one range that holds every frequency of the test.
constexpr int kWideFrequencyRangeItem = 3;

// Times on the card's clock, in seconds.
// The queued playback buffers (about 1 s) must have been played within this after a change.
constexpr double kOutputDeadline = 10.0;
// After the last buffer of the old frequency has left the playback queue it still passes the
// device's ring (0.5 s) and the sound server's buffers before it is heard; a capture run begins
// this much later, so that none of it holds the old frequency. A run that did would show a
// frequency between the two and fail the check.
constexpr double kOutputLatency = 1.5;
// A whole fresh capture run (1 s, after the end of the one in progress) must arrive within this.
constexpr double kCaptureDeadline = 10.0;

// The values of one capture run: its buffers' interleaved 16-bit frames.
constexpr size_t kRunValues = static_cast<size_t>(instrument::kCaptureBuffers) *
                              static_cast<size_t>(instrument::kCaptureBufferBytes) / 2;

// Records one whole capture run: the buffers of the first run the capture component opens after
// arm(), in the order they are delivered, before its own handler sees them. The component's open
// message precedes every buffer of its run, so a run is recorded from its beginning or not at all.
// The handlers are put back when the recorder goes.
class RunRecorder {
  public:
    explicit RunRecorder(audio::TAudioIn& capture)
        : capture_(capture), onStart_(capture.OnStart), onFilled_(capture.OnBufferFilled) {
        values_.reserve(kRunValues);  // the handler then never allocates
        capture_.OnStart = [this] {
            started();
            if (onStart_) onStart_();
        };
        capture_.OnBufferFilled = [this](std::byte* buffer, int32_t& size) {
            filled(buffer, size);
            return onFilled_ ? onFilled_(buffer, size) : false;
        };
    }
    ~RunRecorder() {
        capture_.OnStart = std::move(onStart_);
        capture_.OnBufferFilled = std::move(onFilled_);
    }
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    // Runs opened from now on are recorded.
    void arm() { armed_ = true; }
    bool complete() const { return buffers_ == instrument::kCaptureBuffers; }
    int buffers() const { return buffers_; }
    std::span<const int16_t> values() const { return values_; }

  private:
    void started() {
        if (!armed_ || complete()) return;
        // A run that ended early (a device failure) is dropped for the next one.
        recording_ = true;
        buffers_ = 0;
        values_.clear();
    }
    void filled(const std::byte* bytes, int32_t size) {
        if (!recording_ || complete()) return;
        const size_t count = std::min(static_cast<size_t>(std::max(size, 0)) / 2,
                                      values_.capacity() - values_.size());
        for (size_t k = 0; k < count; ++k) {
            const auto low = static_cast<uint16_t>(bytes[2 * k]);
            const auto high = static_cast<uint16_t>(bytes[2 * k + 1]);
            values_.push_back(static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8))));
        }
        ++buffers_;
    }

    audio::TAudioIn& capture_;
    audio::TNotifyEvent onStart_;
    audio::TBufferEvent onFilled_;
    std::vector<int16_t> values_;
    bool armed_ = false;
    bool recording_ = false;
    int buffers_ = 0;
};

const char* channelName(CaptureChannel channel) {
    return channel == CaptureChannel::R ? "R" : "L";
}

instrument::Control readoutOf(CaptureChannel channel) {
    return channel == CaptureChannel::R ? instrument::kWiringR.frequency
                                        : instrument::kWiringL.frequency;
}

QString hertz(double value) {
    return QString::number(value, 'f', 1);  // the C locale's point, whatever the user's locale
}

QString seconds(double value) {
    return QString::number(value, 'f', 0);
}

const char* verdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "ok";
        case Verdict::Silence:
            return "SILENCE";
        case Verdict::Clipping:
            return "CLIPPED";
        case Verdict::WrongFrequency:
            return "WRONG FREQUENCY";
    }
    return "";
}

// What a failing row saw, for the line under the table.
QString failureText(const SelfTestRow& row) {
    const ChannelFinding& f = row.finding;
    switch (row.verdict) {
        case Verdict::Pass:
            break;
        case Verdict::Silence:
            return QStringLiteral("silence (peak %1 mV, below %2 mV)")
                .arg(millivolts(f.peak))
                .arg(millivolts(kSilencePeak));
        case Verdict::Clipping:
            return QStringLiteral("clipping (samples at the 16-bit limit, peak %1)").arg(f.peak);
        case Verdict::WrongFrequency:
            return f.frequencyHz
                       ? QStringLiteral("wrong frequency: found %1 Hz").arg(hertz(*f.frequencyHz))
                       : QStringLiteral("wrong frequency: found no whole period");
    }
    return {};
}

// Records the first whole capture run that opens once the card's clock has reached `heardFrom`
// and analyses both its channels into `findings`. False, with the reason in `stopped`, when no
// whole run arrives in time.
bool recordRun(instrument::Instrument& s, const HeadlessSteps& steps, double heardFrom, int setHz,
               std::array<ChannelFinding, 2>& findings, QString& stopped,
               std::vector<int16_t>* kept = nullptr) {
    RunRecorder recorder(*s.AudioIn1);
    while (!recorder.complete()) {
        if (steps.seconds() - heardFrom > kCaptureDeadline) {
            stopped = QStringLiteral(
                          "at %1 Hz no whole capture run arrived within %2 s (%3 of %4 buffers "
                          "of a run)")
                          .arg(setHz)
                          .arg(seconds(kCaptureDeadline))
                          .arg(recorder.buffers())
                          .arg(instrument::kCaptureBuffers);
            return false;
        }
        const bool heard = steps.seconds() >= heardFrom;
        steps.pass();
        if (heard) recorder.arm();
    }
    for (const CaptureChannel channel : {CaptureChannel::R, CaptureChannel::L})
        findings[static_cast<size_t>(channel)] =
            analyseChannel(recorder.values(), channel, instrument::kCaptureFrameRate);
    if (kept != nullptr) kept->assign(recorder.values().begin(), recorder.values().end());
    return true;
}

// Sets `frequency` through the generator panel and waits until the playback queue holds nothing
// of the one before; then `heardFrom` is when a capture run holds only the new one. False, with
// the reason in `stopped`, when the playback stopped or did not move.
bool playFrequency(TForm1& form, const HeadlessSteps& steps, int frequency, int& setHz,
                   double& heardFrom, QString& stopped) {
    instrument::Instrument& s = form.instrument();
    audio::TAudioOut& playback = *s.AudioOut1;
    form.design().ScrollBar5->setPosition(frequency);  // runs ScrollBar5Change
    setHz = s.GeneratorFrequency;

    // The buffers filled so far hold the old frequency; each buffer the device finishes is
    // refilled with the new one. Once all the old ones are done, the new frequency is on its
    // way out.
    const int32_t oldBuffers = playback.FilledCount();
    const int32_t doneAtChange = playback.DoneCount();
    const double changedAt = steps.seconds();
    while (playback.DoneCount() < oldBuffers) {
        if (!playback.DeviceOpen()) {
            stopped = QStringLiteral("at %1 Hz the generator's playback stopped: %2")
                          .arg(setHz)
                          .arg(QString::fromStdString(playback.LastErrorText()));
            return false;
        }
        if (steps.seconds() - changedAt > kOutputDeadline) {
            stopped = QStringLiteral(
                          "at %1 Hz the playback did not play its queued buffers within "
                          "%2 s (%3 of %4 played)")
                          .arg(setHz)
                          .arg(seconds(kOutputDeadline))
                          .arg(playback.DoneCount() - doneAtChange)
                          .arg(oldBuffers - doneAtChange);
            return false;
        }
        steps.pass();
    }
    // Then the next capture run that opens once the output has carried the new frequency for
    // a while: a pass that begins after that moment opens runs only after it.
    heardFrom = steps.seconds() + kOutputLatency;
    return true;
}

}  // namespace

// --- Analysis

ChannelFinding analyseChannel(std::span<const int16_t> interleaved, CaptureChannel channel,
                              int frameRate) {
    ChannelFinding finding;
    const size_t offset = static_cast<size_t>(channel);
    const size_t frames = interleaved.size() / 2;
    const auto at = [&](size_t frame) { return static_cast<int>(interleaved[2 * frame + offset]); };

    for (size_t k = 0; k < frames; ++k) {
        const int value = at(k);
        finding.peak = std::max(finding.peak, std::abs(value));
        finding.clipped = finding.clipped || value == kSampleMax || value == kSampleMin;
    }

    const int band = std::max(kHysteresisFloor, finding.peak / kHysteresisDivisor);
    bool wasLow = false;             // at or below -band since the last crossing
    std::optional<double> upward;    // the last step from below 0 to 0 or above since then
    double first = 0.0, last = 0.0;  // the first and the last crossing, in frames
    std::vector<double> periods;     // from each crossing to the next, in frames
    for (size_t k = 1; k < frames; ++k) {
        const int before = at(k - 1);
        const int now = at(k);
        if (now <= -band) {
            wasLow = true;
            upward.reset();
            continue;
        }
        if (!wasLow) continue;
        if (before < 0 && now >= 0)
            upward = static_cast<double>(k - 1) + static_cast<double>(-before) / (now - before);
        if (now >= band && upward) {
            if (finding.crossings == 0)
                first = *upward;
            else
                periods.push_back(*upward - last);
            last = *upward;
            ++finding.crossings;
            wasLow = false;
            upward.reset();
        }
    }
    if (finding.crossings >= 2)
        finding.frequencyHz =
            (finding.crossings - 1) * static_cast<double>(frameRate) / (last - first);
    if (!periods.empty()) {
        std::vector<double> sorted = periods;
        const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::ranges::nth_element(sorted, middle);
        const double median = *middle;
        const double allowed = std::max(kIrregularFraction * median, kIrregularFrames);
        finding.irregularPeriods = static_cast<int>(std::ranges::count_if(
            periods, [&](double p) { return std::abs(p - median) > allowed; }));
    }
    return finding;
}

Verdict judge(const ChannelFinding& finding, double setHz) {
    if (finding.peak < kSilencePeak) return Verdict::Silence;
    if (finding.clipped) return Verdict::Clipping;
    if (!finding.frequencyHz ||
        std::abs(*finding.frequencyHz - setHz) > kFrequencyTolerance * setHz)
        return Verdict::WrongFrequency;
    return Verdict::Pass;
}

bool SelfTestOutcome::passed() const {
    return stopped.isEmpty() && !rows.empty() &&
           std::ranges::all_of(rows,
                               [](const SelfTestRow& r) { return r.verdict == Verdict::Pass; });
}

// --- The run

SelfTestOutcome runSelfTest(TForm1& form, const HeadlessSteps& steps) {
    SelfTestOutcome outcome;
    instrument::Instrument& s = form.instrument();

    // As the user picks the range: the item, then the list's click handler.
    window::selectItem(*form.design().ComboBox8, kWideFrequencyRangeItem);
    form.ComboBox8Click();

    for (const int frequency : kSelfTestFrequencies) {
        int setHz = 0;
        double heardFrom = 0.0;
        if (!playFrequency(form, steps, frequency, setHz, heardFrom, outcome.stopped))
            return outcome;
        std::array<ChannelFinding, 2> findings;
        for (int attempt = 1; attempt <= kRunAttempts; ++attempt) {
            if (!recordRun(s, steps, heardFrom, setHz, findings, outcome.stopped)) return outcome;
            const bool regular = std::ranges::none_of(
                findings, [](const ChannelFinding& f) { return f.irregularPeriods > 0; });
            if (regular || attempt == kRunAttempts) break;
            ++outcome.retakes;
            heardFrom = steps.seconds();  // the output carries the frequency already
        }

        // The pass that delivered the run's last buffer measured it: the read-outs are of it.
        for (const CaptureChannel channel : {CaptureChannel::R, CaptureChannel::L}) {
            SelfTestRow row;
            row.setHz = setHz;
            row.channel = channel;
            row.finding = findings[static_cast<size_t>(channel)];
            row.verdict = judge(row.finding, setHz);
            row.readout = form.controls().controlText(readoutOf(channel)).trimmed();
            outcome.rows.push_back(row);
        }
    }

    // The coupling: a run at each low frequency, its amplitudes against each other.
    std::vector<CouplingRun> runs;
    for (const int frequency : kCouplingFrequencies) {
        CouplingRun run;
        double heardFrom = 0.0;
        std::array<ChannelFinding, 2> findings;
        if (!playFrequency(form, steps, frequency, run.setHz, heardFrom, outcome.stopped) ||
            !recordRun(s, steps, heardFrom, run.setHz, findings, outcome.stopped, &run.values))
            return outcome;
        runs.push_back(std::move(run));
    }
    outcome.couplingMeasured = true;
    for (const CaptureChannel channel : {CaptureChannel::R, CaptureChannel::L})
        outcome.coupling[static_cast<size_t>(channel)] =
            couplingFromRuns(runs, channel, instrument::kCaptureFrameRate);
    return outcome;
}

std::optional<measurement::CouplingCorner> couplingFromRuns(std::span<const CouplingRun> runs,
                                                            CaptureChannel channel, int frameRate) {
    std::vector<measurement::LoopbackTone> tones;
    std::vector<int32_t> samples;
    for (const CouplingRun& run : runs) {
        const size_t offset = static_cast<size_t>(channel);
        samples.clear();
        for (size_t k = offset; k < run.values.size(); k += 2) samples.push_back(run.values[k]);
        std::array<measurement::Tone, 1> captured{
            measurement::Tone{static_cast<double>(run.setHz), 0.0, 0.0}};
        if (!measurement::fitTones({samples.data(), samples.size(), 1}, frameRate, captured))
            continue;
        if (captured[0].amplitude < kSilencePeak) continue;  // nothing arrived
        tones.push_back({measurement::Tone{static_cast<double>(run.setHz), 1.0, 0.0}, captured[0]});
    }
    return measurement::cornerFromLoopback(tones, measurement::LoopbackClock::Unknown);
}

QString selfTestText(const SelfTestOutcome& outcome) {
    const auto row = [](const QString& set, const QString& channel, const QString& found,
                        const QString& peak, const QString& millivolts, const QString& readout,
                        const QString& result) {
        return QStringLiteral("%1  %2  %3  %4  %5  %6  %7")
            .arg(set, 6)
            .arg(channel, 2)
            .arg(found, 8)
            .arg(peak, 5)
            .arg(millivolts, 7)
            .arg(readout, -8)
            .arg(result);
    };
    QStringList lines;
    lines << QStringLiteral(
                 "Self-test: the generator's output captured on R (first input) and "
                 "L (second input)")
          << row(QStringLiteral("set Hz"), QStringLiteral("ch"), QStringLiteral("found Hz"),
                 QStringLiteral("peak"), QStringLiteral("peak mV"), QStringLiteral("read-out"),
                 QStringLiteral("result"));
    for (const SelfTestRow& r : outcome.rows) {
        const ChannelFinding& f = r.finding;
        lines << row(QString::number(r.setHz), QLatin1String(channelName(r.channel)),
                     f.frequencyHz ? hertz(*f.frequencyHz) : QStringLiteral("-"),
                     QString::number(f.peak), QString::number(millivolts(f.peak)), r.readout,
                     QLatin1String(verdictWord(r.verdict)));
    }
    lines << QStringLiteral(
        "Note: the read-out times the half-waves of an envelope and reads a sine low by design "
        "(more so at 2 kHz); \"found Hz\" is the check.");
    if (outcome.couplingMeasured) {
        QStringList corners;
        for (const CaptureChannel channel : {CaptureChannel::R, CaptureChannel::L}) {
            const auto& c = outcome.coupling[static_cast<size_t>(channel)];
            corners << QStringLiteral("%1 %2").arg(
                QLatin1String(channelName(channel)),
                c ? QStringLiteral("%1 Hz (±%2 %)")
                        .arg(QString::number(c->hz, 'f', 2))
                        .arg(QString::number(100.0 * c->uncertainty, 'f', 1))
                  : QStringLiteral("none found"));
        }
        lines << QStringLiteral(
                     "Coupling corner of output and input together, from the amplitudes at 20, "
                     "40 and 80 Hz: %1")
                     .arg(corners.join(QStringLiteral(", ")));
    }
    if (outcome.retakes > 0)
        lines << QStringLiteral(
                     "Note: %1 capture run(s) had irregular periods (samples lost on the way, as "
                     "in a sound server's dropout) and were taken again.")
                     .arg(outcome.retakes);

    QStringList failures;
    for (const SelfTestRow& row : outcome.rows)
        if (row.verdict != Verdict::Pass)
            failures << QStringLiteral("  %1 Hz, channel %2: %3")
                            .arg(row.setHz)
                            .arg(QLatin1String(channelName(row.channel)), failureText(row));
    if (!outcome.stopped.isEmpty()) failures << QStringLiteral("  ") + outcome.stopped;
    if (outcome.passed()) {
        lines << QStringLiteral(
                     "Self-test passed: every channel shows the frequency set (within %1%), "
                     "neither silent nor clipped.")
                     .arg(kFrequencyTolerance * 100.0);
    } else {
        lines << QStringLiteral("Self-test FAILED:") << failures;
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace app
