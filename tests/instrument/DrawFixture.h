// An instrument on the simulated card with a recording front panel, and helpers that put captured
// signals in place, for the tests of the graticule, the time base and the traces.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "support/FakePanel.h"

namespace draw_test {

using testing_support::DrawnLine;
using testing_support::DrawnText;
using Coords = std::array<int, 4>;  // x0, y0, x1, y1

inline constexpr int kDesignedFrames = 11025;  // one capture buffer: 0.25 s of stereo frames
inline constexpr int kCentre = 526 / 2;        // centre row of the designed client area

using Signal = std::function<int32_t(int position)>;

// `high` for `half` positions, then `low` for `half`, from position 0 on.
inline Signal square(int half, int32_t high, int32_t low) {
    return [=](int position) { return (position / half) % 2 == 0 ? high : low; };
}

inline std::vector<Coords> coords(const std::vector<DrawnLine>& lines) {
    std::vector<Coords> out;
    for (const DrawnLine& l : lines) out.push_back({l.x0, l.y0, l.x1, l.y1});
    return out;
}

// Parameterised tests list ::testing::WithParamInterface first among their bases: behind the
// instrument's arrays a base lies too far into the object for UBSan's vptr check.
class DrawTest : public ::testing::Test {
  protected:
    platform::sim::SimCard card;
    platform::MessageLoop loop;
    testing_support::FakePanel panel;  // client area 792 x 526
    instrument::Instrument scope{panel, card, loop};

    // A capture as AudioIn1BufferFilled leaves it: R at the even positions, L at the odd ones.
    void capture(const Signal& r, const Signal& l, int frames = kDesignedFrames) {
        scope.RawSamples.fill(0);
        for (int k = 0; k < frames; ++k) {
            scope.RawSamples.set(static_cast<uint32_t>(2 * k), r(k));
            scope.RawSamples.set(static_cast<uint32_t>(2 * k + 1), l(k));
        }
        scope.SampleCount = 2 * frames;
    }

    void chooseTimeBase(int item) {
        panel.items[instrument::Control::ComboBox1] = item;
        scope.ComboBox1Click();
    }

    // A periodic idle pass as MyIdleEvent draws it, without the capture start.
    void idlePass() {
        scope.R.FirstIndex = 1;
        scope.DrawGrid();
        scope.DrawTraces();
    }

    // Texts at (x, y), joined by '|'.
    std::string textsAt(int x, int y) const {
        std::string out;
        for (const DrawnText& t : panel.screen.texts)
            if (t.x == x && t.y == y) out += (out.empty() ? "" : "|") + t.text;
        return out;
    }
};

}  // namespace draw_test
