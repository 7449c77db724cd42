// The measurement table as a person reads it: per channel a row for each figure (frequency,
// period, widths, duty cycle, rise and fall time, levels), each with its value, minimum, maximum,
// spread and count, in units chosen for the figure's size (Hz or kHz; µs, ms or s; %; levels in %
// of full scale). The measurement window shows these cells, Ctrl+C copies the table as text and
// --measure prints it. Numbers have a decimal point whatever the locale.
#pragma once

#include <QString>
#include <array>
#include <optional>

#include "instrument/CaptureMeasurement.h"
#include "measurement/Calibration.h"

namespace app {

// The rows, top to bottom.
enum class Figure {
    Frequency,
    Period,
    PositiveWidth,
    NegativeWidth,
    DutyCycle,
    RiseTime,
    FallTime,
    Top,
    Base,
    Amplitude,
    PeakToPeak,
    Rms,
    Mean,
};
inline constexpr int kFigureCount = 13;

// The columns: the value (the mean of a timing figure), minimum, maximum, spread (sigma) and
// count. A level is measured once per capture: it has a value only.
enum class Column { Value, Minimum, Maximum, Sigma, Count };
inline constexpr int kColumnCount = 5;

// Shown where there is nothing to measure: no capture yet, or no two edges of one direction.
inline const QString kNothingMeasured = QStringLiteral("—");
// Before a rise or fall time at the sampling limit: the edge is at least this fast.
inline const QString kSamplingLimitMark = QStringLiteral("≤ ");

enum class Channel { R, L };

// "kanál R (napětí UR)", "kanál L (proud IL)".
QString channelTitle(Channel channel);
const measurement::ChannelMeasurement& channelOf(const instrument::CaptureMeasurement& measured,
                                                 Channel channel);

// How a channel's levels are shown: in volts at the probe's tip once calibrated (sample units
// times voltsPerUnit, the probe's factor included), else in % of full scale; for a logic signal
// from its base taken as 0.
struct ChannelScale {
    double voltsPerUnit = 0.0;  // 0: not calibrated
    bool logic = false;
    bool calibrated() const { return voltsPerUnit > 0.0; }
};
using ChannelScales = std::array<ChannelScale, 2>;  // R first
inline const ChannelScale& scaleOf(const ChannelScales& scales, Channel channel) {
    return scales[static_cast<size_t>(channel)];
}

// The levels as shown: from the base for a logic signal, else as measured (sample units).
measurement::Levels shownLevels(const measurement::ChannelMeasurement& channel,
                                const ChannelScale& scale);
// The levels in volts as shown; none without a calibration or a capture.
std::optional<measurement::VoltLevels> shownVolts(const measurement::ChannelMeasurement& channel,
                                                  const ChannelScale& scale);

QString figureName(Figure figure);
QString columnName(Column column);

using RowTexts = std::array<QString, kColumnCount>;
// The cells of one row; empty for a column the figure has not (a level's minimum, say).
RowTexts rowTexts(const measurement::ChannelMeasurement& channel, Figure figure,
                  const ChannelScale& scale = {});

// Whether the channel's rise or fall time, shown for `figure`, is bounded by the sampling.
bool atSamplingLimit(const measurement::ChannelMeasurement& channel, Figure figure);

// The notes under a channel's table: the clipping warning; what "≤" means when it shows.
QString clippingWarning();
QString samplingLimitNote();
// Under a logic channel's table: the base taken as 0 V and the coupling's corner it was restored
// with, and where that came from (or that none was found).
QString logicNote(const instrument::CaptureMeasurement& measured, Channel channel);
// What the level figures are given in: % of full scale, or volts once calibrated.
QString levelsNote();
QString levelsNote(const ChannelScales& scales);

// The whole table as text, aligned in columns: a line naming the capture, then per channel (R
// first) its title, the column headings, the rows and the notes that apply.
QString tableText(const instrument::CaptureMeasurement& measured, const ChannelScales& scales = {});

// Number texts in the units of the table: `value` with about five significant digits (never more
// decimals than the unit's resolution needs), the unit after a space.
QString frequencyText(double hertz);
QString durationText(double seconds);
QString percentText(double percent);
QString levelText(double sampleUnits);  // in % of full scale
QString voltText(double volts);         // V or mV

}  // namespace app
