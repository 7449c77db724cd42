#include "measurement/Edges.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace measurement {

EdgeLevels edgeLevels(const Levels& levels) {
    return {(levels.top + levels.base) / 2.0,
            std::max(kHysteresisShare * levels.amplitude, kMinHysteresis)};
}

void findEdges(ChannelView samples, const EdgeLevels& levels, std::vector<Edge>& edges) {
    edges.clear();
    const size_t frames = samples.size();
    if (frames < 2) return;

    // The samples are whole numbers, so each comparison with a level is one with a whole number:
    // x > middle exactly when x > floor(middle), and likewise for the band's ends.
    const auto whole = [](double level) {
        return static_cast<int64_t>(std::clamp(level, -0x1p40, 0x1p40));
    };
    const double middle = levels.middle;
    const int64_t middleFloor = whole(std::floor(middle));
    const int64_t upperFloor = whole(std::floor(middle + levels.hysteresis));
    const int64_t lowerCeil = whole(std::ceil(middle - levels.hysteresis));

    enum class Side { Unknown, Low, High };
    Side side = Side::Unknown;
    size_t lastUp = 0;  // the sample after the latest upward crossing of the middle level
    size_t lastDown = 0;
    const auto crossing = [&](size_t after) {
        const double before = samples[after - 1];
        return static_cast<double>(after - 1) + (middle - before) / (samples[after] - before);
    };

    int64_t previous = samples[0];
    if (previous > upperFloor) side = Side::High;
    if (previous < lowerCeil) side = Side::Low;
    for (size_t k = 1; k < frames; ++k) {
        const int64_t x = samples[k];
        if (previous <= middleFloor && x > middleFloor) lastUp = k;
        if (previous > middleFloor && x <= middleFloor) lastDown = k;
        if (x > upperFloor && side != Side::High) {
            if (side == Side::Low) edges.push_back({crossing(lastUp), true});
            side = Side::High;
        } else if (x < lowerCeil && side != Side::Low) {
            if (side == Side::High) edges.push_back({crossing(lastDown), false});
            side = Side::Low;
        }
        previous = x;
    }
}

}  // namespace measurement
