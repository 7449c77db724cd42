// The measurement window "Měření": a window of its own beside the main window, with a table per
// channel (R in aqua, L in yellow, as on the screen) of the figures of the capture on the screen,
// and the CSV log. It follows the main window: a new capture drawn in periodic display, or a
// single-shot frame, shows as soon as it is measured. The menu entry "měření" and F3 open and
// close it; closed and opened again, it comes back where the user left it. Ctrl+C copies the
// table as text. "záznam do CSV" starts and stops the log into a file the user chooses; a log
// that fails stops with the reason shown here (and on stderr), and the instrument measures on.
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

#include "app/ChannelCalibration.h"
#include "app/MeasurementLog.h"
#include "app/MeasurementTable.h"
#include "instrument/CaptureMeasurement.h"

class QCheckBox;
namespace app {
class TraceView;
}
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTableWidget;

namespace window {
struct Design;
}

namespace app {

class MeasurementWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MeasurementWindow)

  public:
    // A window of its own, owned by `owner` (the main window, with its design `d`), showing
    // what `instrument` measured; the instrument must outlive it. It connects the design's menu
    // entry and names it and its key in the screen's hint. `captureLevel` reads the mixer's
    // recording level of a channel, for the calibration.
    MeasurementWindow(QWidget& owner, const window::Design& d, instrument::Instrument& instrument,
                      ChannelCalibration::CaptureLevel captureLevel);

    // The capture device whose calibration applies, and the file that keeps it: what was kept
    // there is loaded and put in force (a file that cannot be used is named in the window and
    // on stderr).
    void useDevice(const QString& device,
                   const QString& storePath = CalibrationStore::defaultPath());
    ChannelCalibration& calibration() { return calibration_; }
    // How the figures are shown now (volts, logic base), for the report and the log.
    ChannelScales scales() const { return calibration_.scales(); }
    // The choices of the window's controls, kept at once.
    void setLogic(Channel channel, bool logic);
    void setProbeFactor(Channel channel, double factor);
    // "kalibrace…": asks for the channel and the volts of its amplitude or peak to peak; and the
    // same without the dialog. False with the reason shown in the window.
    void openCalibrationDialog();
    bool calibrate(Channel channel, measurement::CalibrationFigure figure, double volts);

    // Opens it where the user left it (the first time beside the main window), or closes it.
    void toggle();
    // Takes a measurement made since the last call: its row into the log, and into the tables
    // while the window is open. Cheap when there is none.
    void follow();

    // The table as text, as Ctrl+C copies it.
    QString text() const { return tableText(measured_, scales()); }
    void copyTable();

    // The log. The button asks for a file and starts it, or stops it. Whether it started, the
    // reason shown when it did not.
    void toggleLog();
    bool startLog(const QString& path);
    void stopLog();
    const MeasurementLog& log() const { return log_; }

    // What the window shows, for a reader of its state.
    QTableWidget* table(Channel channel) const;
    QLabel* clippingWarning(Channel channel) const;
    QLabel* logStatus() const { return logStatus_; }
    QCheckBox* logicChoice(Channel channel) const;
    QComboBox* probeChoice(Channel channel) const;
    QLabel* levelWarning(Channel channel) const;
    QLabel* calibrationStatus() const { return calibrationStatus_; }
    TraceView* traceView(Channel channel) const;
    QPushButton* logButton() const { return logButton_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct ChannelWidgets {
        QTableWidget* table = nullptr;
        QLabel* clipping = nullptr;
        QLabel* limitNote = nullptr;
        QCheckBox* logic = nullptr;
        QComboBox* probe = nullptr;
        QLabel* levelWarning = nullptr;
        QLabel* logicNote = nullptr;
        TraceView* trace = nullptr;
    };

    ChannelWidgets buildChannel(Channel channel);
    void showFigures();
    void showChoices();
    void drawTrace(Channel channel, const ChannelScale& scale);
    void showCalibrationState(const QString& text, bool failed);
    void appendRow();
    void showLogProgress();
    void showLogState(const QString& text, bool failed);
    // As large as its content, but no higher than the screen: then the content scrolls.
    void fitToScreen();
    void placeBesideOwner();

    QWidget& owner_;
    const instrument::Instrument& instrument_;
    const instrument::CaptureMeasurement& measured_;
    ChannelCalibration calibration_;
    uint64_t followed_ = 0;        // the measurement last taken by follow()
    uint64_t shown_ = UINT64_MAX;  // the one the tables show
    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;  // every control of the window, in scroll_
    QLabel* caption_ = nullptr;
    std::array<ChannelWidgets, 2> channels_;
    QLabel* levelsNote_ = nullptr;
    QPushButton* calibrateButton_ = nullptr;
    QLabel* calibrationStatus_ = nullptr;
    QPushButton* logButton_ = nullptr;
    QLabel* logStatus_ = nullptr;
    MeasurementLog log_;
    QByteArray geometry_;  // where the user left it; empty before the first opening
};

}  // namespace app
