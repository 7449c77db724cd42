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

#include "app/MeasurementLog.h"
#include "app/MeasurementTable.h"
#include "instrument/CaptureMeasurement.h"

class QLabel;
class QPushButton;
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
    // `measured`, which must outlive it. It connects the design's menu entry and names it and its
    // key in the screen's hint.
    MeasurementWindow(QWidget& owner, const window::Design& d,
                      const instrument::CaptureMeasurement& measured);

    // Opens it where the user left it (the first time beside the main window), or closes it.
    void toggle();
    // Takes a measurement made since the last call: its row into the log, and into the tables
    // while the window is open. Cheap when there is none.
    void follow();

    // The table as text, as Ctrl+C copies it.
    QString text() const { return tableText(measured_); }
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
    QPushButton* logButton() const { return logButton_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct ChannelWidgets {
        QTableWidget* table = nullptr;
        QLabel* clipping = nullptr;
        QLabel* limitNote = nullptr;
    };

    ChannelWidgets buildChannel(Channel channel);
    void showFigures();
    void appendRow();
    void showLogProgress();
    void showLogState(const QString& text, bool failed);
    void placeBesideOwner();

    QWidget& owner_;
    const instrument::CaptureMeasurement& measured_;
    uint64_t followed_ = 0;        // the measurement last taken by follow()
    uint64_t shown_ = UINT64_MAX;  // the one the tables show
    QLabel* caption_ = nullptr;
    std::array<ChannelWidgets, 2> channels_;
    QPushButton* logButton_ = nullptr;
    QLabel* logStatus_ = nullptr;
    MeasurementLog log_;
    QByteArray geometry_;  // where the user left it; empty before the first opening
};

}  // namespace app
