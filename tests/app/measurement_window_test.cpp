// The measurement window through the real main window, as a user works it: F3 and the menu entry
// open and close it where it was left, its tables follow the buffers drawn and the single-shot
// frame, Ctrl+C copies them as text in any locale, the CSV log runs from its button and stops
// with the reason when its folder goes, and an open window changes nothing the passes do.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "app/MeasurementWindow.h"
#include "app/Report.h"
#include "app/TraceView.h"
#include "audio/AudioMixer.h"
#include "support/WindowFixture.h"
#include "window/Controls.h"
#include "window/MenuCornerEntry.h"

namespace {

using namespace platform::sim;
using app::Channel;
using app::Column;
using app::Figure;
using window_test::WindowOnSimCard;

// A 490 Hz PWM of 25 % on R, a clipped 1 kHz square on L.
std::unique_ptr<StereoSource> sources() {
    return makeStereo(makePulse({490, 25, 8000, 0}), makeSquare(1000, 32767));
}

QString cell(const app::MeasurementWindow& m, Channel channel, Figure figure, Column column) {
    return m.table(channel)->item(static_cast<int>(figure), static_cast<int>(column))->text();
}

QString caption(const app::MeasurementWindow& m) {
    return m.findChild<QLabel*>(QStringLiteral("MeasurementCaption"))->text();
}

QString bufferCaption(const WindowOnSimCard& w) {
    return QStringLiteral("Záznam č. %1 na obrazovce").arg(w.form->instrument().capturedBuffers);
}

void press(QWidget& window, QKeyCombination keys) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : &window, keys.key(), keys.keyboardModifiers());
}

TEST(MeasurementWindow, F3AndTheMenuEntryOpenAndCloseItWhereTheUserLeftIt) {
    WindowOnSimCard w(sources());
    app::MeasurementWindow& m = w.form->measurementWindow();
    const window::Design& d = w.form->design();
    EXPECT_TRUE(d.client->toolTip().contains(QStringLiteral("F3 nebo „měření“ v nabídce")));
    ASSERT_FALSE(m.isVisible());

    press(*w.form, Qt::Key_F3);
    ASSERT_TRUE(m.isVisible());
    EXPECT_EQ(m.windowTitle(), QStringLiteral("Měření"));
    EXPECT_TRUE(m.isWindow()) << "a window of its own";
    EXPECT_GT(m.x(), w.form->x()) << "beside the main window";
    EXPECT_TRUE(m.screen()->availableGeometry().contains(m.frameGeometry().topLeft()));
    // The test's screen (800 x 600) is lower than the window's content: the window fits it, and
    // its last control is reached by scrolling.
    const QRect room = m.screen()->availableGeometry();
    EXPECT_LE(m.height(), room.height());
    const auto* scroll = m.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    EXPECT_GT(scroll->widget()->height(), m.height());
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(),
              scroll->widget()->height() - scroll->viewport()->height());
    EXPECT_EQ(m.width(), scroll->widget()->width() + scroll->verticalScrollBar()->width())
        << "the scroll bar beside the tables, not over them";
    m.move(120, 90);       // where the user puts it
    press(m, Qt::Key_F3);  // the key closes it from the window itself too
    EXPECT_FALSE(m.isVisible());

    // The entry at the bar's right end, right of every designed entry.
    const QMenuBar* bar = w.form->menuBar();
    EXPECT_EQ(d.measurementEntry->text(), QStringLiteral("měření"));
    EXPECT_LE(d.measurementEntry->geometry().right(), bar->width() - 1);
    EXPECT_GT(d.measurementEntry->x(), bar->actionGeometry(d.mixer1).right());
    window_test::click(d.measurementEntry);
    ASSERT_TRUE(m.isVisible());
    EXPECT_EQ(m.pos(), QPoint(120, 90));
    window_test::click(d.measurementEntry);
    EXPECT_FALSE(m.isVisible());
    EXPECT_FALSE(m.log().active());
}

TEST(MeasurementWindow, TheTablesFollowEachDrawnBufferAndTheSingleShotFrame) {
    WindowOnSimCard w(sources());
    app::MeasurementWindow& m = w.form->measurementWindow();
    m.toggle();
    w.pass();  // the start values, before any buffer: nothing to time
    EXPECT_EQ(cell(m, Channel::R, Figure::Frequency, Column::Count), app::kNothingMeasured);
    EXPECT_EQ(cell(m, Channel::R, Figure::Top, Column::Value), QStringLiteral("0 %"));

    w.passes(3);
    EXPECT_TRUE(caption(m).startsWith(bufferCaption(w))) << caption(m).toStdString();
    EXPECT_EQ(cell(m, Channel::R, Figure::Frequency, Column::Value), QStringLiteral("490.00 Hz"));
    // The card holds the edges to the frame: 23 of each period's 90 frames high.
    EXPECT_EQ(cell(m, Channel::R, Figure::DutyCycle, Column::Value), QStringLiteral("25.56 %"));
    EXPECT_EQ(cell(m, Channel::R, Figure::Period, Column::Count), QStringLiteral("121"));
    // A period of 44.1 frames, its edges held to the frame: within 0.01 %.
    EXPECT_TRUE(
        cell(m, Channel::L, Figure::Frequency, Column::Value)
            .contains(QRegularExpression(QStringLiteral("^(1\\.000\\d kHz|999\\.9\\d Hz)$"))));
    EXPECT_TRUE(cell(m, Channel::R, Figure::RiseTime, Column::Value).startsWith("≤ "));
    EXPECT_FALSE(m.clippingWarning(Channel::R)->isVisible());
    EXPECT_TRUE(m.clippingWarning(Channel::L)->isVisible());
    for (const Channel channel : {Channel::R, Channel::L}) {  // every figure shows whole
        const QTableWidget* table = m.table(channel);
        for (int row = 0; row < table->rowCount(); ++row)
            for (int col = 0; col < table->columnCount(); ++col)
                EXPECT_LT(table->fontMetrics().horizontalAdvance(table->item(row, col)->text()),
                          table->columnWidth(col));
    }

    w.pass();  // a new buffer drawn, a new row of figures
    EXPECT_TRUE(caption(m).startsWith(bufferCaption(w)));

    window_test::click(w.find<QRadioButton>("RadioButton2"));  // single-shot display
    const QString frame = caption(m);
    EXPECT_TRUE(frame.startsWith(bufferCaption(w)));
    w.passes(3);  // buffers arrive, the screen keeps its frame, and so does the table
    EXPECT_EQ(caption(m), frame);
    window_test::click(w.find<QRadioButton>("RadioButton2"));
    EXPECT_TRUE(caption(m).startsWith(bufferCaption(w)));
    EXPECT_NE(caption(m), frame);
}

TEST(MeasurementWindow, CtrlCCopiesTheTableAsTextTheSameInTheCzechLocale) {
    WindowOnSimCard w(sources());
    app::MeasurementWindow& m = w.form->measurementWindow();
    m.toggle();
    w.passes(4);
    QApplication::clipboard()->clear();
    press(m, QKeyCombination(Qt::ControlModifier, Qt::Key_C));
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied, app::tableText(w.form->instrument().measured));
    EXPECT_TRUE(copied.contains(QStringLiteral("frekvence                     490.00 Hz")));
    EXPECT_TRUE(copied.contains(app::clippingWarning()));

    std::setlocale(LC_ALL, "cs_CZ.UTF-8");
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
    EXPECT_EQ(m.text(), copied);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
}

TEST(MeasurementWindow, AnOpenWindowChangesNothingThePassesDoOrReport) {
    WindowOnSimCard open(sources()), closed(sources());
    open.form->measurementWindow().toggle();
    const auto settle = [](WindowOnSimCard& w) {
        int n = 1;
        while (n <= 12 && (w.form->idlePass(), !w.form->lastPassDone())) ++n;
        return n;
    };
    for (int buffer = 0; buffer < 6; ++buffer) {
        SCOPED_TRACE(buffer);
        EXPECT_EQ(settle(open), settle(closed));
        EXPECT_LE(settle(open), 3);
        EXPECT_EQ(app::makeReport({open.form->instrument(), open.form->controls(), 0}),
                  app::makeReport({closed.form->instrument(), closed.form->controls(), 0}));
        EXPECT_EQ(open.form->screen().image(), closed.form->screen().image());
        for (WindowOnSimCard* w : {&open, &closed}) w->card.advance(window_test::kBufferFrames);
    }
}

// Answers the file dialog the log button opens, as the user would, with `path`.
void chooseInFileDialog(const QString& path) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, path] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(path);  // typed over the suggested name
            QTest::keyClick(name, Qt::Key_Return);
            timer->deleteLater();
        }
    });
    timer->start(10);
}

TEST(MeasurementWindow, TheLogButtonLogsEachBufferAndALostFolderStopsItWithTheReason) {
    WindowOnSimCard w(sources());
    app::MeasurementWindow& m = w.form->measurementWindow();
    m.toggle();
    w.pass();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("stick"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/pwm.csv");

    chooseInFileDialog(path);
    window_test::click(m.logButton());
    ASSERT_TRUE(m.log().active()) << m.logStatus()->text().toStdString();
    EXPECT_TRUE(m.logButton()->isChecked());
    w.passes(3);
    EXPECT_EQ(m.log().rows(), 3u) << "a row per buffer drawn";
    EXPECT_TRUE(m.logStatus()->text().contains(QStringLiteral("zapsáno řádků: 3")));
    window_test::click(m.logButton());  // stops it
    EXPECT_FALSE(m.log().active());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << m.log().path();
    EXPECT_EQ(file.readAll().count('\n'), 4) << "the header and three rows";

    ASSERT_TRUE(m.startLog(path));  // continued
    w.pass();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    const uint64_t measured = w.form->instrument().measured.number;
    w.passes(2);
    EXPECT_FALSE(m.log().active());
    EXPECT_FALSE(m.logButton()->isChecked());
    EXPECT_TRUE(m.logStatus()->text().contains(QString::fromLocal8Bit(std::strerror(ENOENT))))
        << m.logStatus()->text().toStdString();
    EXPECT_GE(w.form->instrument().measured.number, measured + 2) << "the scope measures on";

    EXPECT_FALSE(m.startLog(QStringLiteral("/dev/full")));
    EXPECT_TRUE(m.logStatus()->text().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))));
}

// --- Volts, logic levels and the trace view

// A 50 Hz servo-like pulse train (25 %) through a real LINE IN's coupling on R, a clipped 200 Hz
// square on L.
std::unique_ptr<StereoSource> lineInSources() {
    return makeStereo(makePulse({50, 25, 10000, 0, 0.004}, LineIn{10, 20000, 4, 7}),
                      makeSquare(200, 32767));
}

int pixelsOf(const QImage& image, const QRect& room, QRgb colour) {
    int n = 0;
    for (int y = room.top(); y <= room.bottom(); ++y)
        for (int x = room.left(); x <= room.right(); ++x) n += image.pixel(x, y) == colour;
    return n;
}

TEST(MeasurementWindow, LogicChoiceAndCalibrationShowTheCircuitsVoltsAndAreKept) {
    QTemporaryDir config;
    const QString ini = config.filePath(QStringLiteral("soundscope.ini"));
    {
        WindowOnSimCard w(lineInSources());
        app::MeasurementWindow& m = w.form->measurementWindow();
        m.useDevice(QStringLiteral("sim"), ini);
        m.toggle();
        w.passes(3);
        EXPECT_TRUE(cell(m, Channel::R, Figure::Top, Column::Value).endsWith(QStringLiteral(" %")));
        const double rawBase = w.form->instrument().measured.R.levels.base;
        EXPECT_LT(rawBase, -1000) << "the coupling took the mean away";

        m.logicChoice(Channel::R)->click();
        EXPECT_TRUE(w.form->instrument().measureChoices()[0].logic);
        const auto& restored = w.form->instrument().measured.restoredR;
        ASSERT_TRUE(restored.restoration.restored) << "measured again at once";
        EXPECT_NEAR(restored.cornerHz, 10.0, 1.0);
        EXPECT_NEAR(w.form->instrument().measured.R.levels.top, 10000, 150);
        EXPECT_TRUE(m.findChild<QLabel*>(QStringLiteral("LogicNoteR"))->isVisible());

        ASSERT_TRUE(m.calibrate(Channel::R, measurement::CalibrationFigure::Amplitude, 5.0))
            << m.calibrationStatus()->text().toStdString();
        EXPECT_EQ(cell(m, Channel::R, Figure::Base, Column::Value), QStringLiteral("0 V"));
        const QString top = cell(m, Channel::R, Figure::Top, Column::Value);
        EXPECT_TRUE(top.startsWith(QStringLiteral("5.0")) && top.endsWith(QStringLiteral(" V")))
            << top.toStdString();
        EXPECT_TRUE(cell(m, Channel::L, Figure::Top, Column::Value).endsWith(QStringLiteral(" %")))
            << "L stays uncalibrated";
        EXPECT_FALSE(m.calibrate(Channel::L, measurement::CalibrationFigure::Amplitude, 5.0))
            << "L clips";
        EXPECT_TRUE(m.calibrationStatus()->text().contains(QStringLiteral("přebuzený")));

        // A probe of ×10 in front: ten times the volts.
        m.setProbeFactor(Channel::R, 10.0);
        EXPECT_TRUE(
            cell(m, Channel::R, Figure::Top, Column::Value).startsWith(QStringLiteral("50.")));
        m.setProbeFactor(Channel::R, 1.0);

        // The recording level moved in the mixer: the calibration may not hold.
        EXPECT_FALSE(m.levelWarning(Channel::R)->isVisible());
        w.form->mixer()->LineRecord->Volume()->SetLeft(30000);
        w.passes(2);
        EXPECT_TRUE(m.levelWarning(Channel::R)->isVisible());
        EXPECT_FALSE(m.levelWarning(Channel::L)->isVisible()) << "L has no calibration";
    }
    // The next run: the same choices and calibration, from the file.
    WindowOnSimCard w(lineInSources());
    app::MeasurementWindow& m = w.form->measurementWindow();
    m.useDevice(QStringLiteral("sim"), ini);
    m.toggle();
    w.passes(3);
    EXPECT_TRUE(m.logicChoice(Channel::R)->isChecked());
    EXPECT_FALSE(m.logicChoice(Channel::L)->isChecked());
    EXPECT_TRUE(cell(m, Channel::R, Figure::Top, Column::Value).startsWith(QStringLiteral("5.0")));
    // Another device has no calibration of its own.
    m.useDevice(QStringLiteral("hw:CARD=Other,DEV=0"), ini);
    EXPECT_TRUE(cell(m, Channel::R, Figure::Top, Column::Value).endsWith(QStringLiteral(" %")));
}

TEST(MeasurementWindow, TheTraceViewStandsOnTheFirstRisingEdgeWithItsLevelsAndEdgesMarked) {
    QTemporaryDir config;
    WindowOnSimCard w(lineInSources());
    app::MeasurementWindow& m = w.form->measurementWindow();
    m.useDevice(QStringLiteral("sim"), config.filePath(QStringLiteral("soundscope.ini")));
    m.toggle();
    m.setLogic(Channel::R, true);
    w.passes(2);  // the first buffers of the card's run
    int lastEdge = -1;
    for (int buffer = 0; buffer < 3; ++buffer) {
        w.passes(1);
        const app::TraceView& view = *m.traceView(Channel::R);
        const instrument::TraceMarks& marks = view.marks();
        ASSERT_TRUE(marks.drawn);
        ASSERT_TRUE(marks.triggered);
        const int width = view.width();
        // Two periods of 20 ms from a tenth of the width before the trigger: the rising edge at
        // a tenth, the falling one 5 ms on (an eighth of the width), the next rising at half.
        EXPECT_NEAR(marks.edgeX[0], 0.1 * width, 2);
        EXPECT_NEAR(marks.edgeX[1] - marks.edgeX[0], width / 8.0, 2);
        EXPECT_NEAR(marks.edgeX[2] - marks.edgeX[0], width / 2.0, 2);
        if (lastEdge >= 0) {
            EXPECT_EQ(marks.edgeX[0], lastEdge) << "it stands still";
        }
        lastEdge = marks.edgeX[0];
        // Restored: the trace lies on its top line between the edges, on its base line after.
        const QImage& image = view.image();
        const QRgb aqua = qRgb(0, 255, 255);
        const int mid = (marks.edgeX[0] + marks.edgeX[1]) / 2;
        EXPECT_EQ(image.pixel(mid, marks.topY), aqua);
        EXPECT_EQ(image.pixel((marks.edgeX[1] + marks.edgeX[2]) / 2, marks.baseY), aqua);
        EXPECT_GT(marks.baseY, marks.topY);
        // The level lines in grey where the trace is not, the edges in green.
        EXPECT_EQ(image.pixel(mid, marks.baseY), qRgb(128, 128, 128));
        EXPECT_EQ(image.pixel(marks.edgeX[0], 2), qRgb(0, 200, 0));
        EXPECT_EQ(marks.clippedColumns, 0);
    }
    // L clips: its trace is red where it does, and only there.
    const app::TraceView& l = *m.traceView(Channel::L);
    EXPECT_GT(l.marks().clippedColumns, l.width() / 2);
    EXPECT_GT(pixelsOf(l.image(), l.rect(), qRgb(255, 0, 0)), l.width());
    EXPECT_EQ(pixelsOf(l.image(), l.rect(), qRgb(255, 255, 0)), 0) << "every column clips";
}

TEST(MeasurementWindow, TheCalibrationDialogTakesTheChannelAndTheVoltsTypedWithAComma) {
    QTemporaryDir config;
    WindowOnSimCard w(lineInSources());
    app::MeasurementWindow& m = w.form->measurementWindow();
    m.useDevice(QStringLiteral("sim"), config.filePath(QStringLiteral("soundscope.ini")));
    m.toggle();
    w.passes(3);
    const double amplitude = w.form->instrument().measured.R.levels.amplitude;
    QString shown;
    // The user: channel R, peak to peak, "3,3" volts, OK.
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QComboBox*>(QStringLiteral("CalibrationChannel"))->setCurrentIndex(0);
        dialog->findChild<QComboBox*>(QStringLiteral("CalibrationFigure"))->setCurrentIndex(1);
        shown = dialog->findChild<QLabel*>(QStringLiteral("CalibrationMeasured"))->text();
        dialog->findChild<QLineEdit*>(QStringLiteral("CalibrationVolts"))
            ->setText(QStringLiteral("3,3"));
        static_cast<QDialog*>(dialog)->accept();
    });
    m.findChild<QPushButton*>(QStringLiteral("CalibrateButton"))->click();
    const double peakToPeak = w.form->instrument().measured.R.levels.peakToPeak;
    EXPECT_EQ(shown, QStringLiteral("změřeno %1 plného rozsahu").arg(app::levelText(peakToPeak)));
    const auto c = m.calibration().calibration(Channel::R);
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->voltsPerUnit * peakToPeak, 3.3, 1e-9);
    EXPECT_EQ(c->captureLevel, w.form->captureLevel(Channel::R));
    EXPECT_TRUE(c->captureLevel.has_value()) << "the simulated mixer has a LINE level";
    EXPECT_TRUE(cell(m, Channel::R, Figure::PeakToPeak, Column::Value).startsWith("3.3"));
    EXPECT_NEAR(m.scales()[0].voltsPerUnit * amplitude, 3.3 * amplitude / peakToPeak, 1e-9);

    // Cancelled, or nothing usable typed: the calibration stays as it was.
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>(QStringLiteral("CalibrationVolts"))
            ->setText(QStringLiteral("pět"));
        static_cast<QDialog*>(dialog)->accept();
    });
    m.findChild<QPushButton*>(QStringLiteral("CalibrateButton"))->click();
    EXPECT_TRUE(m.calibrationStatus()->text().contains(QStringLiteral("kladné číslo")));
    EXPECT_EQ(m.calibration().calibration(Channel::R)->voltsPerUnit, c->voltsPerUnit);
}

}  // namespace
