// The report of a run, one JSON object:
// - the read-out texts under their controls' names: Edit1, Edit4, Edit8, Edit11, Edit12, Edit13,
//   Edit14, Edit2, Edit5, Edit18, Edit19;
// - FreqL, FreqR, SampleCount, PeakL, PeakR;
// - the time base: AutoTimeBase, TimeStep, PointSpacing, TimeBaseBand (the band whose latch is
//   set, 1..7; 0 = none), ComboBox1 (the selected item), FollowGenerator;
// - TraceStartR, ChannelShift, PeriodicMode;
// - RawSamples: RawSamples[0..SampleCount), the values the last pass worked on.
#pragma once

#include <QJsonObject>
#include <QString>

namespace app {

class TForm1;

QJsonObject makeReport(const TForm1& form);

// Writes makeReport(form) to `path` as indented JSON. On failure returns false and sets `error`
// to a text naming the file and the reason.
bool writeReport(const TForm1& form, const QString& path, QString& error);

}  // namespace app
