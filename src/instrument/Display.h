// Where the screen shows the signals and what it can show.
#pragma once

namespace instrument {

// x of the zero line's left end and of point 1 of the R trace; the graticule starts beside it.
inline constexpr int kTraceLeft = 55;

// Above this frequency the screen cannot show the signal: the read-outs say so and the generator
// panel warns.
inline constexpr int kDisplayLimitHz = 2500;

}  // namespace instrument
