#include "app/ChannelCalibration.h"

namespace app {

ChannelCalibration::ChannelCalibration(instrument::Instrument& instrument,
                                       CaptureLevel captureLevel)
    : instrument_(instrument), captureLevel_(std::move(captureLevel)) {}

void ChannelCalibration::useDevice(const QString& device, const QString& storePath) {
    device_ = device;
    store_ = CalibrationStore(storePath);
    store_.load();
    note_ = store_.note();
    logNote_ = store_.logNote();
    applyChoices();
}

std::optional<measurement::Calibration> ChannelCalibration::calibration(Channel channel) const {
    if (device_.isEmpty()) return std::nullopt;
    return store_.calibration(device_, channel);
}

ChannelScales ChannelCalibration::scales() const {
    ChannelScales scales;
    for (const Channel channel : {Channel::R, Channel::L}) {
        ChannelScale& s = scales[static_cast<size_t>(channel)];
        s.logic = store_.channel(channel).logic;
        if (const auto c = calibration(channel); c && measurement::usableCalibration(*c))
            s.voltsPerUnit = c->voltsPerUnit * store_.channel(channel).probeFactor;
    }
    return scales;
}

void ChannelCalibration::applyChoices() {
    instrument::ChannelChoices choices;
    for (const Channel channel : {Channel::R, Channel::L}) {
        instrument::ChannelChoice& c = choices[static_cast<size_t>(channel)];
        c.logic = store_.channel(channel).logic;
        if (const auto calibrated = calibration(channel))
            c.givenCornerHz = calibrated->loopbackCornerHz;
    }
    instrument_.setMeasureChoices(choices);
}

bool ChannelCalibration::save() {
    if (store_.path().isEmpty()) return true;  // no device in use: nothing to keep
    QString error;
    if (store_.save(error)) {
        note_.clear();
        logNote_.clear();
        return true;
    }
    note_ = QStringLiteral("Nastavení nelze uložit: %1").arg(error);
    logNote_ = error;
    return false;
}

bool ChannelCalibration::setLogic(Channel channel, bool logic) {
    ChannelSettings s = store_.channel(channel);
    s.logic = logic;
    store_.setChannel(channel, s);
    applyChoices();
    return save();
}

bool ChannelCalibration::setProbeFactor(Channel channel, double factor) {
    if (!measurement::usableProbeFactor(factor)) {
        note_ = refusalText(measurement::CalibrationRefusal::BadProbe);
        return false;
    }
    ChannelSettings s = store_.channel(channel);
    s.probeFactor = factor;
    store_.setChannel(channel, s);
    return save();
}

bool ChannelCalibration::calibrate(Channel channel, measurement::CalibrationFigure figure,
                                   double volts, QString& why, QString* logWhy) {
    QString unused;
    QString& log = logWhy != nullptr ? *logWhy : unused;
    const instrument::CaptureMeasurement& measured = instrument_.measured;
    if (device_.isEmpty() || measured.number == 0) {
        why = QStringLiteral("zatím není změřen žádný záznam");
        log = QStringLiteral("no capture has been measured yet");
        return false;
    }
    measurement::CalibrationRefusal refusal{};
    const ChannelScale scale = scaleOf(scales(), channel);
    const std::optional<double> perUnit =
        measurement::voltsPerUnitFrom(shownLevels(channelOf(measured, channel), scale), figure,
                                      volts, store_.channel(channel).probeFactor, refusal);
    if (!perUnit) {
        why = refusalText(refusal);
        log = refusalLogText(refusal);
        return false;
    }
    measurement::Calibration c = calibration(channel).value_or(measurement::Calibration{});
    c.voltsPerUnit = *perUnit;
    c.captureLevel = captureLevel_ ? captureLevel_(channel) : std::nullopt;
    store_.setCalibration(device_, channel, c);
    if (!save()) {
        why = note_;
        log = logNote_;
        return false;
    }
    return true;
}

bool ChannelCalibration::setLoopbackCorner(Channel channel, double cornerHz) {
    if (device_.isEmpty() || !(cornerHz > 0.0)) return false;
    // Kept with the channel's calibration, or on its own until there is one.
    measurement::Calibration c = calibration(channel).value_or(measurement::Calibration{});
    c.loopbackCornerHz = cornerHz;
    store_.setCalibration(device_, channel, c);
    applyChoices();
    return save();
}

bool ChannelCalibration::levelDiffers(Channel channel) const {
    const auto c = calibration(channel);
    return c && measurement::usableCalibration(*c) &&
           measurement::captureLevelDiffers(*c,
                                            captureLevel_ ? captureLevel_(channel) : std::nullopt);
}

QString refusalText(measurement::CalibrationRefusal refusal) {
    switch (refusal) {
        case measurement::CalibrationRefusal::None:
            break;
        case measurement::CalibrationRefusal::Clipped:
            return QStringLiteral("záznam je přebuzený, kalibrovat na něm nelze");
        case measurement::CalibrationRefusal::TooSmall:
            return QStringLiteral("signál je příliš slabý (pod 1 % plného rozsahu)");
        case measurement::CalibrationRefusal::BadVolts:
            return QStringLiteral("napětí musí být kladné číslo");
        case measurement::CalibrationRefusal::BadProbe:
            return QStringLiteral("činitel sondy musí být od 0,001 do 10000");
    }
    return {};
}

QString refusalLogText(measurement::CalibrationRefusal refusal) {
    switch (refusal) {
        case measurement::CalibrationRefusal::None:
            break;
        case measurement::CalibrationRefusal::Clipped:
            return QStringLiteral("the capture clipped; no calibration can rest on it");
        case measurement::CalibrationRefusal::TooSmall:
            return QStringLiteral("the signal is too weak (below 1 % of full scale)");
        case measurement::CalibrationRefusal::BadVolts:
            return QStringLiteral("the volts must be a positive number");
        case measurement::CalibrationRefusal::BadProbe:
            return QStringLiteral("the probe's factor must be from 0.001 to 10000");
    }
    return {};
}

}  // namespace app
