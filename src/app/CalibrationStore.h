// What the program keeps from one run to the next: per capture device and channel the calibration
// to volts (with the capture level it was taken at, and a loopback's coupling corner), and per
// channel the probe's factor and whether it carries a logic signal. A loopback's corner is kept
// for a device and channel without a calibration too (its voltsPerUnit 0, not usable). A QSettings
// INI file in the user's configuration folder, which a person can read and edit; a file that is not
// this program's, or cannot be read, is ignored with a note and never overwritten: it is kept aside
// (as NAME.ignored) when the settings are next saved.
#pragma once

#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "app/MeasurementTable.h"
#include "measurement/Calibration.h"

namespace app {

struct ChannelSettings {
    double probeFactor = 1.0;  // ×1, ×10, or as typed
    bool logic = false;        // "logický signál: L = 0 V"
    bool operator==(const ChannelSettings&) const = default;
};

class CalibrationStore {
  public:
    // The file's format, in its [soundscope] group: a file without it is no file of ours.
    static constexpr int kFormat = 1;

    // $XDG_CONFIG_HOME/soundscope/soundscope.ini (~/.config/soundscope/soundscope.ini).
    static QString defaultPath();

    explicit CalibrationStore(QString path = defaultPath()) : path_(std::move(path)) {}

    // Reads the file (none: nothing kept yet). What cannot be used is left out and note() says
    // why: the whole file when it is unreadable or not this program's, else the entries that
    // hold no usable number.
    void load();
    // Writes everything kept; false with the reason. A file load() ignored is renamed aside first.
    bool save(QString& error);

    const QString& path() const { return path_; }
    // Why something in the file was ignored, in the user's words; empty when nothing was. The
    // same for stderr.
    const QString& note() const { return note_; }
    const QString& logNote() const { return logNote_; }

    std::optional<measurement::Calibration> calibration(const QString& device,
                                                        Channel channel) const;
    void setCalibration(const QString& device, Channel channel,
                        const measurement::Calibration& calibration);
    void clearCalibration(const QString& device, Channel channel);

    const ChannelSettings& channel(Channel channel) const {
        return channels_[static_cast<size_t>(channel)];
    }
    void setChannel(Channel channel, const ChannelSettings& settings) {
        channels_[static_cast<size_t>(channel)] = settings;
    }

  private:
    struct Device {
        QString name;  // the capture device, as the program opens it ("sim": the simulated card)
        std::array<std::optional<measurement::Calibration>, 2> channels;
    };
    Device* find(const QString& device);
    const Device* find(const QString& device) const;

    QString path_;
    QString note_;
    QString logNote_;
    bool ignoredFile_ = false;  // the file as a whole: kept aside before the next save
    std::array<ChannelSettings, 2> channels_;
    std::vector<Device> devices_;
};

}  // namespace app
