// One channel of a capture as the measurement reads it: a strided view of 32-bit sample slots, so
// that a channel is read straight out of interleaved frames without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace measurement {

class ChannelView {
  public:
    ChannelView() = default;
    // `frames` samples, the first at `first`, each `stride` slots after the one before (stride 1:
    // a plain array). The slots must stay valid and unchanged while the view is measured.
    ChannelView(const int32_t* first, size_t frames, size_t stride)
        : first_(first), frames_(first == nullptr || stride == 0 ? 0 : frames), stride_(stride) {}

    // Channel `channel` of `values` holding interleaved frames of `channels` values each; a
    // trailing part frame is left out, and a channel that is not there gives an empty view.
    static ChannelView interleaved(std::span<const int32_t> values, size_t channels,
                                   size_t channel) {
        if (channels == 0 || channel >= channels || values.size() < channels) return {};
        return {values.data() + channel, values.size() / channels, channels};
    }

    size_t size() const { return frames_; }
    bool empty() const { return frames_ == 0; }
    int32_t operator[](size_t frame) const { return first_[frame * stride_]; }

  private:
    const int32_t* first_ = nullptr;
    size_t frames_ = 0;
    size_t stride_ = 1;
};

}  // namespace measurement
