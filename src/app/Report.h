// The report of a run, one JSON object:
// - the read-out texts under their controls' names: Edit1, Edit4, Edit8, Edit11, Edit12, Edit13,
//   Edit14, Edit2, Edit5, Edit18, Edit19;
// - FreqL, FreqR, SampleCount, PeakL, PeakR;
// - the time base: AutoTimeBase, TimeStep, PointSpacing, TimeBaseBand (the band whose latch is
//   set, 1..7; 0 = none), ComboBox1 (the selected item), FollowGenerator;
// - TraceStartR, ChannelShift, PeriodicMode, IdlePasses;
// - CapturedBuffers (copied into RawSamples), DrawnBuffers (drawn by a periodic pass for the first
//   time; equal to CapturedBuffers, or one less while a pass is due, as long as the display is
//   periodic), CaptureRuns (opened by the passes);
// - RawSamples: RawSamples[0..SampleCount), the values the last pass worked on;
// - Measurements: R and L, the figures of the capture on the screen (the last drawing pass's, in
//   periodic display the last pass's; the single-shot frame's): Frequency (Hz), Period,
//   PositiveWidth, NegativeWidth, RiseTime, FallTime (s) and DutyCycle (%), each
//   {"mean", "min", "max", "sigma", "count"} or null when the capture has none; Top, Base,
//   Amplitude, PeakToPeak, Mean, Rms (sample units; a logic channel's restored) and Clipped (true
//   or false); TopV, BaseV, AmplitudeV, PeakToPeakV, MeanV, RmsV (volts at the probe's tip, a
//   logic channel's from its base as 0 V; null without a calibration), LogicLevel (the choice
//   "logický signál: L = 0 V"), Restored (the coupling undone) and CouplingCornerHz (the corner
//   it was undone with; null when it was not).
#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>

#include "app/MeasurementTable.h"
#include "instrument/Instrument.h"
#include "window/WidgetPanel.h"

namespace app {

// What a report reads: the instrument, the window's controls (their texts and ComboBox1's item),
// and the idle passes run.
struct ReportSource {
    const instrument::Instrument& instrument;
    const window::WidgetPanel& controls;
    uint64_t idlePasses;
    ChannelScales scales = {};  // how the measurement window shows the levels
};

QJsonObject makeReport(const ReportSource& source);
// The report's Measurements.
QJsonObject measurementsReport(const instrument::CaptureMeasurement& measured,
                               const ChannelScales& scales = {});

// Writes makeReport(source) to `path` as indented JSON. On failure returns false and sets `error`
// to a text naming the file and the reason.
bool writeReport(const ReportSource& source, const QString& path, QString& error);

}  // namespace app
