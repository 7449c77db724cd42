// The report of a run, one JSON object:
// - the read-out texts under their controls' names: Edit1, Edit4, Edit8, Edit11, Edit12, Edit13,
//   Edit14, Edit2, Edit5, Edit18, Edit19;
// - FreqL, FreqR, SampleCount, PeakL, PeakR;
// - the time base: AutoTimeBase, TimeStep, PointSpacing, TimeBaseBand (the band whose latch is
//   set, 1..7; 0 = none), ComboBox1 (the selected item), FollowGenerator;
// - TraceStartR, ChannelShift, PeriodicMode, IdlePasses;
// - capturedBuffers (copied into RawSamples), drawnBuffers (drawn by a periodic pass for the first
//   time; equal to capturedBuffers, or one less while a pass is due, as long as the display is
//   periodic), captureRuns (opened by the passes);
// - RawSamples: RawSamples[0..SampleCount), the values the last pass worked on.
#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>

#include "instrument/Instrument.h"
#include "window/WidgetPanel.h"

namespace app {

// What a report reads: the instrument, the window's controls (their texts and ComboBox1's item),
// and the idle passes run.
struct ReportSource {
    const instrument::Instrument& instrument;
    const window::WidgetPanel& controls;
    uint64_t idlePasses;
};

QJsonObject makeReport(const ReportSource& source);

// Writes makeReport(source) to `path` as indented JSON. On failure returns false and sets `error`
// to a text naming the file and the reason.
bool writeReport(const ReportSource& source, const QString& path, QString& error);

}  // namespace app
