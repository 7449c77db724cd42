// How the wave components call a driver: no exception from a backend may leave a component, whose
// operations report failure as a result and a text.
#pragma once

#include <utility>

#include "platform/WaveTypes.h"

namespace audio {

template <class Call>
platform::MMResult guarded(Call&& call) noexcept {
    try {
        return std::forward<Call>(call)();
    } catch (...) {
        return platform::MMResult::Error;
    }
}

}  // namespace audio
