// IdleSettle decides when the idle passes have settled: when the window may stop making passes and
// wait for the next event, because another pass would only repeat the last one.
//
// The rule. A pass is a function of two things: the inputs it reads (what came from outside since
// the last pass: captured buffers, the state of the devices, user actions and resizes, whether a
// timed step such as a retry is due) and the state the previous pass left for it (the carried
// state: the channels' arrays and measurements, the trigger position, the time base in force).
// What a pass leaves is that carried state, the controls it set and the screen's picture. So when
// a pass saw the same inputs as the pass before it, left the same carried state, set the same
// controls and the same picture, the next pass would start from the same place and repeat it
// exactly: the passes have settled. Passes over the same input can differ (each leaves
// state the next one reads, such as the envelope seed of the trigger search), so the rule waits
// for the first that changes nothing rather than taking the first pass after an input as final.
//
// The invariant the rule needs, kept by the instrument: every input a pass reads is folded into
// Instrument::fingerprintPassInputs (the window adds its user actions and resizes), and every
// field a pass reads that an earlier pass wrote is folded into Instrument::fingerprintPassState;
// each such field says so where it is declared. A field left out would let the window settle
// while a further pass would still change the screen.
//
// Once settled, a pass over inputs that have not changed is not made at all: its outcome is known.
#pragma once

#include <cstdint>

namespace instrument {

class IdleSettle {
  public:
    // What one pass saw and left behind, as fingerprints.
    struct Pass {
        uint64_t inputs = 0;  // the inputs, as they were after the pass
        uint64_t left = 0;    // the carried state and the controls the pass set
        uint64_t image = 0;   // the screen's picture
    };

    // Records a pass; whether the passes have settled with it.
    bool settledAfter(const Pass& pass);
    // Whether the picture the last pass left differs from the one before: the screen is shown
    // again only then.
    bool imageChanged() const { return imageChanged_; }
    // Whether a pass over `inputs` would repeat the last one: the passes have settled, and
    // nothing came in since.
    bool wouldRepeat(uint64_t inputs) const { return settled_ && inputs == inputs_; }
    bool settled() const { return settled_; }

  private:
    uint64_t passes_ = 0;
    uint64_t inputs_ = 0;
    uint64_t left_ = 0;
    uint64_t image_ = 0;
    bool settled_ = false;
    bool imageChanged_ = true;
};

}  // namespace instrument
