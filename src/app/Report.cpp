#include "app/Report.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <optional>

namespace app {

namespace {

using measurement::Statistic;

QJsonValue statisticValue(const std::optional<Statistic>& statistic) {
    if (!statistic) return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("mean"), statistic->mean},
                       {QStringLiteral("min"), statistic->min},
                       {QStringLiteral("max"), statistic->max},
                       {QStringLiteral("sigma"), statistic->sigma},
                       {QStringLiteral("count"), static_cast<qint64>(statistic->count)}};
}

QJsonValue volts(const std::optional<measurement::VoltLevels>& v,
                 double measurement::VoltLevels::*figure) {
    if (!v) return QJsonValue::Null;
    return (*v).*figure;
}

QJsonObject channelMeasurement(const measurement::ChannelMeasurement& c,
                               const measurement::RestoredChannel& restored, bool logic,
                               const ChannelScale& scale) {
    const measurement::Timing& t = c.timing;
    const measurement::Levels& l = c.levels;
    const std::optional<measurement::VoltLevels> v = shownVolts(c, scale);
    const bool restoredInForce = logic && restored.restoration.restored;
    using measurement::VoltLevels;
    return {{QStringLiteral("Frequency"), statisticValue(t.frequency)},
            {QStringLiteral("Period"), statisticValue(t.period)},
            {QStringLiteral("PositiveWidth"), statisticValue(t.positiveWidth)},
            {QStringLiteral("NegativeWidth"), statisticValue(t.negativeWidth)},
            {QStringLiteral("DutyCycle"), statisticValue(t.dutyCycle)},
            {QStringLiteral("RiseTime"), statisticValue(t.riseTime)},
            {QStringLiteral("FallTime"), statisticValue(t.fallTime)},
            {QStringLiteral("Top"), l.top},
            {QStringLiteral("Base"), l.base},
            {QStringLiteral("Amplitude"), l.amplitude},
            {QStringLiteral("PeakToPeak"), l.peakToPeak},
            {QStringLiteral("Mean"), l.mean},
            {QStringLiteral("Rms"), l.rms},
            {QStringLiteral("Clipped"), l.clipped},
            {QStringLiteral("TopV"), volts(v, &VoltLevels::top)},
            {QStringLiteral("BaseV"), volts(v, &VoltLevels::base)},
            {QStringLiteral("AmplitudeV"), volts(v, &VoltLevels::amplitude)},
            {QStringLiteral("PeakToPeakV"), volts(v, &VoltLevels::peakToPeak)},
            {QStringLiteral("MeanV"), volts(v, &VoltLevels::mean)},
            {QStringLiteral("RmsV"), volts(v, &VoltLevels::rms)},
            {QStringLiteral("LogicLevel"), logic},
            {QStringLiteral("Restored"), restoredInForce},
            {QStringLiteral("CouplingCornerHz"),
             restoredInForce ? QJsonValue(restored.cornerHz) : QJsonValue(QJsonValue::Null)}};
}

}  // namespace

QJsonObject measurementsReport(const instrument::CaptureMeasurement& measured,
                               const ChannelScales& scales) {
    return {{QStringLiteral("R"),
             channelMeasurement(measured.R, measured.restoredR, measured.choices[0].logic,
                                scaleOf(scales, Channel::R))},
            {QStringLiteral("L"),
             channelMeasurement(measured.L, measured.restoredL, measured.choices[1].logic,
                                scaleOf(scales, Channel::L))}};
}

QJsonObject makeReport(const ReportSource& source) {
    using instrument::Control;
    const instrument::Instrument& s = source.instrument;
    QJsonObject report;
    for (const instrument::ControlInfo& c : instrument::kControls) {
        if (!c.reported) continue;
        report.insert(QLatin1String(c.name.data(), static_cast<qsizetype>(c.name.size())),
                      source.controls.controlText(c.control));
    }

    report.insert(QStringLiteral("FreqL"), s.L.Freq);
    report.insert(QStringLiteral("FreqR"), s.R.Freq);
    report.insert(QStringLiteral("SampleCount"), s.SampleCount);
    report.insert(QStringLiteral("PeakL"), s.L.Peak);
    report.insert(QStringLiteral("PeakR"), s.R.Peak);
    report.insert(QStringLiteral("AutoTimeBase"), s.AutoTimeBase);
    report.insert(QStringLiteral("TimeStep"), s.TimeStep);
    report.insert(QStringLiteral("PointSpacing"), s.PointSpacing);
    report.insert(QStringLiteral("TimeBaseBand"), s.bandInForce());
    report.insert(QStringLiteral("ComboBox1"), source.controls.itemIndex(Control::ComboBox1));
    report.insert(QStringLiteral("FollowGenerator"), s.FollowGenerator);
    report.insert(QStringLiteral("TraceStartR"), s.TraceStartR);
    report.insert(QStringLiteral("ChannelShift"), s.ChannelShift);
    report.insert(QStringLiteral("PeriodicMode"), s.PeriodicMode);
    report.insert(QStringLiteral("IdlePasses"), static_cast<qint64>(source.idlePasses));
    report.insert(QStringLiteral("CapturedBuffers"), static_cast<qint64>(s.capturedBuffers));
    report.insert(QStringLiteral("DrawnBuffers"), static_cast<qint64>(s.drawnBuffers));
    report.insert(QStringLiteral("CaptureRuns"), static_cast<qint64>(s.captureRuns));
    report.insert(QStringLiteral("Measurements"), measurementsReport(s.measured, source.scales));

    QJsonArray raw;
    const int count = std::clamp(s.SampleCount, 0, instrument::kSampleSlots);
    for (int k = 0; k < count; ++k) raw.append(s.RawSamples[static_cast<uint32_t>(k)]);
    report.insert(QStringLiteral("RawSamples"), raw);
    return report;
}

bool writeReport(const ReportSource& source, const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("cannot write the report %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray json = QJsonDocument(makeReport(source)).toJson(QJsonDocument::Indented);
    if (file.write(json) != json.size() || !file.flush()) {
        error = QStringLiteral("cannot write the report %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace app
