#include "app/CalibrationStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace app {

namespace {

const QString kFormatKey = QStringLiteral("soundscope/format");
const QString kDevices = QStringLiteral("devices");

QString channelKey(Channel channel) {
    return channel == Channel::R ? QStringLiteral("R") : QStringLiteral("L");
}

// A number the file holds, or none when the key is absent or holds no finite number.
std::optional<double> number(const QSettings& file, const QString& key, bool& bad) {
    if (!file.contains(key)) return std::nullopt;
    bool ok = false;
    const double value = file.value(key).toString().toDouble(&ok);  // C locale
    if (ok && std::isfinite(value)) return value;
    bad = true;
    return std::nullopt;
}

std::optional<bool> flag(const QSettings& file, const QString& key, bool& bad) {
    if (!file.contains(key)) return std::nullopt;
    const QString text = file.value(key).toString();
    if (text == QLatin1String("true")) return true;
    if (text == QLatin1String("false")) return false;
    bad = true;
    return std::nullopt;
}

}  // namespace

QString CalibrationStore::defaultPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("soundscope/soundscope.ini"));
}

CalibrationStore::Device* CalibrationStore::find(const QString& device) {
    const auto at = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const Device& d) { return d.name == device; });
    return at == devices_.end() ? nullptr : &*at;
}

const CalibrationStore::Device* CalibrationStore::find(const QString& device) const {
    return const_cast<CalibrationStore*>(this)->find(device);
}

void CalibrationStore::load() {
    note_.clear();
    logNote_.clear();
    ignoredFile_ = false;
    channels_ = {};
    devices_.clear();
    // No file, or an empty one (a file made but never written): nothing kept yet.
    const QFileInfo info(path_);
    if (!info.exists() || (info.isFile() && info.size() == 0)) return;

    QSettings file(path_, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        ignoredFile_ = true;
        note_ =
            QStringLiteral("Soubor nastavení %1 nelze přečíst; kalibrace se nepoužije.").arg(path_);
        return;
    }
    if (file.value(kFormatKey).toString() != QString::number(kFormat)) {
        ignoredFile_ = true;
        note_ = QStringLiteral(
                    "Soubor %1 není souborem nastavení tohoto programu (verze %2); "
                    "nepoužije se.")
                    .arg(path_)
                    .arg(kFormat);
        logNote_ = QStringLiteral(
                       "%1 is not this program's settings file (format %2); it is "
                       "ignored")
                       .arg(path_)
                       .arg(kFormat);
        return;
    }

    bool bad = false;
    for (const Channel channel : {Channel::R, Channel::L}) {
        ChannelSettings& c = channels_[static_cast<size_t>(channel)];
        const QString group = QStringLiteral("channel%1/").arg(channelKey(channel));
        if (const auto probe = number(file, group + QStringLiteral("probe"), bad)) {
            if (measurement::usableProbeFactor(*probe)) {
                c.probeFactor = *probe;
            } else {
                bad = true;
            }
        }
        if (const auto logic = flag(file, group + QStringLiteral("logic"), bad)) c.logic = *logic;
    }

    const int count = file.beginReadArray(kDevices);
    for (int i = 0; i < count; ++i) {
        file.setArrayIndex(i);
        Device device;
        device.name = file.value(QStringLiteral("name")).toString();
        if (device.name.isEmpty() || find(device.name) != nullptr) {
            bad = true;
            continue;
        }
        for (const Channel channel : {Channel::R, Channel::L}) {
            const QString group = channelKey(channel) + QLatin1Char('/');
            const auto perUnit = number(file, group + QStringLiteral("voltsPerUnit"), bad);
            const auto corner = number(file, group + QStringLiteral("loopbackCornerHz"), bad);
            if (!perUnit && !corner) continue;
            measurement::Calibration c;
            if (perUnit) {
                c.voltsPerUnit = *perUnit;
                if (!measurement::usableCalibration(c)) {
                    bad = true;
                    continue;
                }
            }
            if (const auto level = number(file, group + QStringLiteral("captureLevel"), bad))
                c.captureLevel = static_cast<int32_t>(std::clamp(*level, -2e9, 2e9));
            if (corner) {
                if (*corner > 0.0) {
                    c.loopbackCornerHz = *corner;
                } else {
                    bad = true;
                }
            }
            // A loopback's corner is kept on its own until the channel is calibrated.
            if (!perUnit && c.loopbackCornerHz == 0.0) continue;
            device.channels[static_cast<size_t>(channel)] = c;
        }
        devices_.push_back(std::move(device));
    }
    file.endArray();
    if (bad)
        note_ = QStringLiteral(
                    "V souboru nastavení %1 jsou hodnoty, které nejsou čísly v "
                    "rozsahu; nepoužijí se.")
                    .arg(path_);
}

bool CalibrationStore::save(QString& error) {
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath())) {
        error = QStringLiteral("cannot make the folder %1").arg(info.absolutePath());
        return false;
    }
    if (ignoredFile_ && info.exists()) {
        // Whatever it holds is someone's: kept, under a name that says why.
        const QString aside = path_ + QStringLiteral(".ignored");
        QFile::remove(aside);
        if (!QFile::rename(path_, aside)) {
            error = QStringLiteral("cannot move the unreadable %1 aside").arg(path_);
            return false;
        }
        ignoredFile_ = false;
    }
    QSettings file(path_, QSettings::IniFormat);
    file.clear();
    file.setValue(kFormatKey, kFormat);
    for (const Channel channel : {Channel::R, Channel::L}) {
        const ChannelSettings& c = channels_[static_cast<size_t>(channel)];
        const QString group = QStringLiteral("channel%1/").arg(channelKey(channel));
        file.setValue(group + QStringLiteral("probe"), c.probeFactor);
        file.setValue(group + QStringLiteral("logic"), c.logic);
    }
    file.beginWriteArray(kDevices, static_cast<int>(devices_.size()));
    for (size_t i = 0; i < devices_.size(); ++i) {
        file.setArrayIndex(static_cast<int>(i));
        file.setValue(QStringLiteral("name"), devices_[i].name);
        for (const Channel channel : {Channel::R, Channel::L}) {
            const auto& c = devices_[i].channels[static_cast<size_t>(channel)];
            if (!c) continue;
            const QString group = channelKey(channel) + QLatin1Char('/');
            if (measurement::usableCalibration(*c))
                file.setValue(group + QStringLiteral("voltsPerUnit"), c->voltsPerUnit);
            if (c->captureLevel)
                file.setValue(group + QStringLiteral("captureLevel"), *c->captureLevel);
            if (c->loopbackCornerHz > 0.0)
                file.setValue(group + QStringLiteral("loopbackCornerHz"), c->loopbackCornerHz);
        }
    }
    file.endArray();
    file.sync();
    if (file.status() != QSettings::NoError) {
        error = QStringLiteral("cannot write the settings %1").arg(path_);
        return false;
    }
    return true;
}

std::optional<measurement::Calibration> CalibrationStore::calibration(const QString& device,
                                                                      Channel channel) const {
    const Device* d = find(device);
    if (d == nullptr) return std::nullopt;
    return d->channels[static_cast<size_t>(channel)];
}

void CalibrationStore::setCalibration(const QString& device, Channel channel,
                                      const measurement::Calibration& calibration) {
    Device* d = find(device);
    if (d == nullptr) {
        devices_.push_back(Device{device, {}});
        d = &devices_.back();
    }
    d->channels[static_cast<size_t>(channel)] = calibration;
}

void CalibrationStore::clearCalibration(const QString& device, Channel channel) {
    if (Device* d = find(device)) d->channels[static_cast<size_t>(channel)].reset();
}

}  // namespace app
