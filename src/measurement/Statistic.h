// A figure measured many times over a capture (once per period, pulse or edge), and how it is
// gathered without allocating.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace measurement {

struct Statistic {
    double mean = 0.0;
    double min = 0.0;
    double max = 0.0;
    double sigma = 0.0;  // sample standard deviation (n - 1); 0 for a single value
    uint32_t count = 0;  // at least 1: a figure measured no time is absent, not a Statistic
};

// Gathers values one by one, without allocating: sums of the values' differences from the first
// one, so that a thousand periods that differ only in their sixth digit keep their spread, and no
// division per value.
class StatisticAccumulator {
  public:
    void add(double value) {
        if (count_ == 0) {
            shift_ = min_ = max_ = value;
        } else {
            min_ = std::min(min_, value);
            max_ = std::max(max_, value);
        }
        ++count_;
        const double offset = value - shift_;
        sum_ += offset;
        squares_ += offset * offset;
    }

    uint32_t count() const { return count_; }

    // The statistic of the values added; absent when none were.
    std::optional<Statistic> result() const {
        if (count_ == 0) return std::nullopt;
        const double n = count_;
        const double mean = std::clamp(shift_ + sum_ / n, min_, max_);
        const double deviations = std::max(squares_ - sum_ * sum_ / n, 0.0);
        const double sigma = count_ > 1 ? std::sqrt(deviations / (n - 1)) : 0.0;
        return Statistic{mean, min_, max_, sigma, count_};
    }

  private:
    uint32_t count_ = 0;
    double shift_ = 0.0;  // the first value
    double sum_ = 0.0;    // of value - shift_
    double squares_ = 0.0;
    double min_ = 0.0;
    double max_ = 0.0;
};

}  // namespace measurement
