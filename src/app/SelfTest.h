// The self-test (--self-test): the generator is played at a few frequencies across its range, the
// capture of each is measured on both channels, and each channel is judged: a sine at the
// frequency set, neither silent nor clipped, means cable, card and mixer are right.
//
// The measurement here is independent of the instrument's own read-out: rising zero crossings
// over a whole capture run, each placed between its two samples by linear interpolation, with a
// hysteresis band so that noise around zero makes no extra crossings. The read-out is shown next
// to it for comparison.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "measurement/Coupling.h"

namespace app {

class TForm1;

// --- Analysis of a capture (pure)

// Where a channel lies in the interleaved capture: R is the card's first input (the even values),
// L its second (the odd ones).
enum class CaptureChannel { R = 0, L = 1 };

struct ChannelFinding {
    std::optional<double> frequencyHz;  // none: fewer than two rising crossings
    int crossings = 0;                  // rising zero crossings found
    int peak = 0;                       // largest magnitude, in sample units
    bool clipped = false;               // a sample at either 16-bit limit
    // Periods (crossing to crossing) far from the median one: where samples were lost or
    // repeated on the way (a sound server's dropout splices the sine and may add or take away a
    // crossing, 1% at 100 Hz). A clean sine has none.
    int irregularPeriods = 0;
};

// One channel of interleaved stereo 16-bit frames captured at `frameRate` frames/s.
ChannelFinding analyseChannel(std::span<const int16_t> interleaved, CaptureChannel channel,
                              int frameRate);

enum class Verdict { Pass, Silence, Clipping, WrongFrequency };

// A peak below this (1% of full scale, 3.6 mV at the generator's 1100 mV) is silence.
inline constexpr int kSilencePeak = 328;
// The found frequency may differ from the one set by this fraction of it.
inline constexpr double kFrequencyTolerance = 0.01;

// Silence first (its crossings mean nothing), then clipping, then the frequency.
Verdict judge(const ChannelFinding& finding, double setHz);

// --- The run

// What the self-test runs on: one headless pass as the program makes it (the pending messages,
// the idle handler, and the time a pass lets pass on the card), and the card's clock.
struct HeadlessSteps {
    std::function<void()> pass;
    std::function<double()> seconds;
};

// The generator's frequencies the self-test plays, in Hz: across the range the read-outs show.
inline constexpr std::array<int, 4> kSelfTestFrequencies{100, 440, 1000, 2000};
// After them, low frequencies whose captured amplitudes give the input coupling's corner: from
// about twice a card's corner to ten times it (a 10 Hz corner takes 11 %, 3 % and 0.8 % off).
inline constexpr std::array<int, 3> kCouplingFrequencies{20, 40, 80};
// Capture runs taken at most per frequency when the earlier ones had a dropout.
inline constexpr int kRunAttempts = 3;

struct SelfTestRow {
    int setHz = 0;  // the generator's frequency as set through its controls
    CaptureChannel channel = CaptureChannel::R;
    ChannelFinding finding;
    Verdict verdict = Verdict::Pass;
    QString readout;  // the channel's frequency read-out after the run, trimmed
};

// One capture run of the generator at a frequency, as recorded (interleaved 16-bit frames).
struct CouplingRun {
    int setHz = 0;
    std::vector<int16_t> values;
};

// The coupling's corner on `channel` from the captured amplitudes of `runs` (each its tone's
// amplitude fitted over the whole run, the played ones taken as equal): none when fewer than three
// runs hold a tone, or the amplitudes show no first-order high-pass (measurement::
// cornerFromLoopback with the clock unknown).
std::optional<measurement::CouplingCorner> couplingFromRuns(std::span<const CouplingRun> runs,
                                                            CaptureChannel channel, int frameRate);

struct SelfTestOutcome {
    std::vector<SelfTestRow> rows;
    // The coupling's corner per channel (R first), from the runs at kCouplingFrequencies; none
    // when it could not be told (a DC-coupled input, or a run that failed).
    std::array<std::optional<measurement::CouplingCorner>, 2> coupling;
    bool couplingMeasured = false;  // the runs at kCouplingFrequencies were taken
    QString stopped;  // why the test ended before its last frequency; empty when it did not
    int retakes = 0;  // capture runs taken again because a channel had irregular periods
    bool passed() const;
};

// Plays each frequency through the generator panel's controls, waits until the output carries it,
// takes the next capture run that starts after that, and measures both channels. A run with
// irregular periods on either channel is taken again, up to kRunAttempts runs in all. `form` must
// have started (no start-up error); its playback must be running.
SelfTestOutcome runSelfTest(TForm1& form, const HeadlessSteps& steps);

// The table, the note on the read-out, and the verdict: a line per failing row, or "passed".
QString selfTestText(const SelfTestOutcome& outcome);

}  // namespace app
