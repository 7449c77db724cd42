#include "instrument/IdleSettle.h"

namespace instrument {

bool IdleSettle::settledAfter(const Pass& pass) {
    imageChanged_ = passes_ == 0 || pass.image != image_;
    settled_ = passes_ > 0 && pass.inputs == inputs_ && pass.left == left_ && !imageChanged_;
    ++passes_;
    inputs_ = pass.inputs;
    left_ = pass.left;
    image_ = pass.image;
    return settled_;
}

}  // namespace instrument
