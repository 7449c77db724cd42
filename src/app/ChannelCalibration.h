// The measurement window's calibration state: the store of what is kept between runs, the capture
// device it applies to, and what follows from them for the instrument (which channels are measured
// as logic signals, with which loopback corner) and for the figures shown (volts per sample unit
// with the probe's factor). Headless runs use it as the window does (--calibrate, --logic).
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "app/CalibrationStore.h"
#include "app/MeasurementTable.h"
#include "instrument/Instrument.h"

namespace app {

class ChannelCalibration {
  public:
    // The mixer's LINE recording level of a channel now; none when the card has none to read.
    using CaptureLevel = std::function<std::optional<int32_t>(Channel)>;

    ChannelCalibration(instrument::Instrument& instrument, CaptureLevel captureLevel);

    // Loads what is kept in `storePath` and applies it to `device`'s channels. The store's note
    // (a file ignored) is in note().
    void useDevice(const QString& device,
                   const QString& storePath = CalibrationStore::defaultPath());
    const QString& device() const { return device_; }
    const CalibrationStore& store() const { return store_; }
    // Why something kept could not be used, or why saving failed; empty when all is well.
    const QString& note() const { return note_; }
    const QString& logNote() const { return logNote_; }  // the same for stderr

    ChannelScales scales() const;
    std::optional<measurement::Calibration> calibration(Channel channel) const;
    const ChannelSettings& settings(Channel channel) const { return store_.channel(channel); }

    // The choices, kept at once; false when they could not be saved (note() says why).
    bool setLogic(Channel channel, bool logic);
    bool setProbeFactor(Channel channel, double factor);

    // Takes `figure` of the channel's current measurement as `volts` at the probe's tip, with the
    // current capture level, and keeps it (a loopback corner kept before stays). False with the
    // reason, in the user's words, in `why` (and for stderr in `logWhy`).
    bool calibrate(Channel channel, measurement::CalibrationFigure figure, double volts,
                   QString& why, QString* logWhy = nullptr);
    // A loopback's corner for the channel, kept with its calibration (or on its own until there
    // is one) and used to restore a logic channel from now on; false when it could not be kept.
    bool setLoopbackCorner(Channel channel, double cornerHz);

    // The mixer's recording level of the channel now.
    std::optional<int32_t> captureLevel(Channel channel) const {
        return captureLevel_ ? captureLevel_(channel) : std::nullopt;
    }
    // Whether the capture level now differs from the channel's calibrated one.
    bool levelDiffers(Channel channel) const;

  private:
    void applyChoices();
    bool save();

    instrument::Instrument& instrument_;
    CaptureLevel captureLevel_;
    CalibrationStore store_{QString()};
    QString device_;
    QString note_;
    QString logNote_;
};

// The user's words for a refusal to calibrate, and the same for stderr.
QString refusalText(measurement::CalibrationRefusal refusal);
QString refusalLogText(measurement::CalibrationRefusal refusal);

}  // namespace app
