#include "app/Report.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/TForm1.h"

namespace app {

namespace {

// The time-base band whose latch flag is set; 0 when none is.
template <int N>
int bandInForce(const instrument::LatchFlags<N>& latch) {
    for (int band = 1; band <= N; ++band)
        if (latch[band] != 0) return band;
    return 0;
}

}  // namespace

QJsonObject makeReport(const TForm1& form) {
    QJsonObject report;
    for (const auto& [name, control] :
         std::initializer_list<std::pair<const char*, instrument::Control>>{
             {"Edit1", instrument::Control::Edit1},
             {"Edit4", instrument::Control::Edit4},
             {"Edit8", instrument::Control::Edit8},
             {"Edit11", instrument::Control::Edit11},
             {"Edit12", instrument::Control::Edit12},
             {"Edit13", instrument::Control::Edit13},
             {"Edit14", instrument::Control::Edit14},
             {"Edit2", instrument::Control::Edit2},
             {"Edit5", instrument::Control::Edit5},
             {"Edit18", instrument::Control::Edit18},
             {"Edit19", instrument::Control::Edit19}})
        report.insert(QLatin1String(name), form.controlText(control));

    report.insert(QStringLiteral("FreqL"), form.FreqL);
    report.insert(QStringLiteral("FreqR"), form.FreqR);
    report.insert(QStringLiteral("SampleCount"), form.SampleCount);
    report.insert(QStringLiteral("PeakL"), form.PeakL);
    report.insert(QStringLiteral("PeakR"), form.PeakR);
    report.insert(QStringLiteral("AutoTimeBase"), form.AutoTimeBase);
    report.insert(QStringLiteral("TimeStep"), form.TimeStep);
    report.insert(QStringLiteral("PointSpacing"), form.PointSpacing);
    report.insert(QStringLiteral("TimeBaseBand"), bandInForce(form.TimeBaseLatch));
    report.insert(QStringLiteral("ComboBox1"), form.design().ComboBox1->currentIndex());
    report.insert(QStringLiteral("FollowGenerator"), form.FollowGenerator);
    report.insert(QStringLiteral("TraceStartR"), form.TraceStartR);
    report.insert(QStringLiteral("ChannelShift"), form.ChannelShift);
    report.insert(QStringLiteral("PeriodicMode"), form.PeriodicMode);
    report.insert(QStringLiteral("IdlePasses"), static_cast<qint64>(form.idlePasses()));

    QJsonArray raw;
    const int count = std::clamp(form.SampleCount, 0, instrument::kSampleSlots);
    for (int k = 0; k < count; ++k) raw.append(form.RawSamples[static_cast<uint32_t>(k)]);
    report.insert(QStringLiteral("RawSamples"), raw);
    return report;
}

bool writeReport(const TForm1& form, const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("cannot write the report %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray json = QJsonDocument(makeReport(form)).toJson(QJsonDocument::Indented);
    if (file.write(json) != json.size() || !file.flush()) {
        error = QStringLiteral("cannot write the report %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace app
