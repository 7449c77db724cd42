// The CSV log: a header naming each column with its unit, a row per measurement that carries the
// figures (a decimal point in any locale, empty fields for what was not measured), an existing log
// continued and any other file left alone, and a file that cannot be written refused with the
// system's reason (a folder lost while the log runs: measurement_window_test).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/MeasurementLog.h"

namespace {

using app::MeasurementLog;
using namespace std::chrono_literals;

// Time, buffer; per channel timing, levels, clipping, levels in volts, logic, restored, corner.
constexpr int kChannelColumns = 7 * 5 + 7 + 6 + 3;
constexpr int kColumns = 2 + 2 * kChannelColumns;
constexpr int kL = 2 + kChannelColumns;  // L's first column

// 2025-12-06 05:46:40.250 UTC.
const auto kWhen = std::chrono::system_clock::from_time_t(1765000000) + 250ms;

instrument::CaptureMeasurement measuredPulse() {
    instrument::CaptureMeasurement m;
    m.number = 1;
    m.buffer = 42;
    m.R.frames = 11025;
    m.R.timing.frequency = measurement::Statistic{490.0125, 489.9, 490.1, 0.0071, 121};
    m.R.timing.dutyCycle = measurement::Statistic{25.004, 24.99, 25.01, 0.003, 121};
    m.R.levels.top = 6044.5;
    m.R.levels.base = -2005.25;
    m.L.frames = 11025;  // silence: levels only
    m.L.levels.clipped = true;
    return m;
}

QStringList linesOf(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

std::string pathIn(const QTemporaryDir& dir, const char* name) {
    return QFile::encodeName(dir.filePath(QString::fromLatin1(name))).toStdString();
}

TEST(MeasurementLog, HeaderNamesEveryColumnWithItsUnit) {
    const QStringList header = QString::fromStdString(MeasurementLog::header()).split(',');
    ASSERT_EQ(header.size(), kColumns);
    EXPECT_EQ(header[0], QStringLiteral("Time [ISO 8601]"));
    EXPECT_EQ(header[1], QStringLiteral("Buffer"));
    EXPECT_EQ(header[2], QStringLiteral("R Frequency mean [Hz]"));
    EXPECT_EQ(header[6], QStringLiteral("R Frequency count"));
    EXPECT_EQ(header[7], QStringLiteral("R Period mean [s]"));
    EXPECT_EQ(header[22], QStringLiteral("R DutyCycle mean [%]"));
    EXPECT_EQ(header[37], QStringLiteral("R Top [sample units]"));
    EXPECT_EQ(header[43], QStringLiteral("R Clipped [0/1]"));
    EXPECT_EQ(header[44], QStringLiteral("R TopV [V]"));
    EXPECT_EQ(header[49], QStringLiteral("R RmsV [V]"));
    EXPECT_EQ(header[50], QStringLiteral("R Logic [0/1]"));
    EXPECT_EQ(header[51], QStringLiteral("R Restored [0/1]"));
    EXPECT_EQ(header[52], QStringLiteral("R CouplingCornerHz [Hz]"));
    EXPECT_EQ(header[kL], QStringLiteral("L Frequency mean [Hz]"));
    EXPECT_EQ(header.last(), QStringLiteral("L CouplingCornerHz [Hz]"));
}

TEST(MeasurementLog, EachRowCarriesTheFiguresInAnyLocale) {
    setenv("TZ", "Europe/Prague", 1);
    tzset();
    std::setlocale(LC_ALL, "cs_CZ.UTF-8");  // a decimal comma for printf: not for the log
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "log.csv");
    MeasurementLog log;
    std::string error;
    ASSERT_TRUE(log.start(path, error)) << error;
    const instrument::CaptureMeasurement m = measuredPulse();
    for (int row = 0; row < 3; ++row) ASSERT_TRUE(log.append(m, kWhen + row * 250ms, error));
    EXPECT_EQ(log.rows(), 3u);
    log.stop();
    std::setlocale(LC_ALL, "C");

    const QStringList lines = linesOf(QString::fromStdString(path));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].toStdString(), MeasurementLog::header());
    const QStringList f = lines[1].split(',');
    ASSERT_EQ(f.size(), kColumns);
    EXPECT_EQ(f[0], QStringLiteral("2025-12-06T06:46:40.250+01:00"));
    EXPECT_EQ(lines[3].split(',')[0], QStringLiteral("2025-12-06T06:46:40.750+01:00"));
    EXPECT_EQ(f[1], QStringLiteral("42"));
    EXPECT_EQ(f.mid(2, 5), (QStringList{"490.0125", "489.9", "490.1", "0.0071", "121"}));
    EXPECT_EQ(f.mid(7, 5), QStringList(5, QString())) << "no period measured: empty fields";
    EXPECT_EQ(f[22], QStringLiteral("25.004"));
    EXPECT_EQ(f.mid(37, 2), (QStringList{"6044.5", "-2005.25"}));
    EXPECT_EQ(f[43], QStringLiteral("0"));
    EXPECT_EQ(f.mid(44, 6), QStringList(6, QString())) << "no calibration: no volts";
    EXPECT_EQ(f.mid(50, 3), (QStringList{"0", "0", ""}));
    EXPECT_EQ(f.mid(kL, 35), QStringList(35, QString())) << "L has no timing";
    EXPECT_EQ(f[kL + 41], QStringLiteral("1")) << "L clipped";
}

TEST(MeasurementLog, ACalibratedLogicChannelHasItsVoltsAndTheCornerItWasRestoredWith) {
    instrument::CaptureMeasurement m = measuredPulse();
    m.choices[0].logic = true;
    m.restoredR.restoration.restored = true;
    m.restoredR.cornerHz = 9.75;
    m.R.levels.amplitude = 8049.75;
    m.R.levels.mean = 0.0;
    m.R.levels.rms = 3000.0;
    m.choices[1].logic = true;  // L: logic, but nothing to restore
    app::ChannelScales scales;
    scales[0] = {0.001, true};  // 1 mV per unit with the probe
    std::array<char, MeasurementLog::kRowCapacity> row{};
    const size_t length = MeasurementLog::formatRow(m, kWhen, row, scales);
    const QStringList f =
        QString::fromLatin1(row.data(), static_cast<qsizetype>(length)).trimmed().split(',');
    ASSERT_EQ(f.size(), kColumns);
    // From the base: top 8049.75 units, mean 2005.25, RMS of the moved samples.
    EXPECT_EQ(f.mid(44, 4), (QStringList{"8.04975", "0", "8.04975", "0"}));
    EXPECT_EQ(f[48], QStringLiteral("2.00525"));
    EXPECT_NEAR(f[49].toDouble(), std::sqrt(3000.0 * 3000.0 + 2005.25 * 2005.25) / 1000, 1e-6);
    EXPECT_EQ(f.mid(50, 3), (QStringList{"1", "1", "9.75"}));
    EXPECT_EQ(f.mid(kL + 42, 6), QStringList(6, QString())) << "L not calibrated";
    EXPECT_EQ(f.mid(kL + 48, 3), (QStringList{"1", "0", ""}));
}

TEST(MeasurementLog, AnExistingLogIsContinuedAndAnyOtherFileLeftAlone) {
    QTemporaryDir dir;
    std::string error;
    const std::string path = pathIn(dir, "log.csv");
    {
        QFile cut(QString::fromStdString(path));  // a log whose last row a power cut ended early
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        cut.write(QByteArray::fromStdString(MeasurementLog::header() + "\n2025-12-06T06:4"));
    }
    MeasurementLog log;
    ASSERT_TRUE(log.start(path, error)) << error;
    ASSERT_TRUE(log.append(measuredPulse(), kWhen, error));
    log.stop();
    const QStringList lines = linesOf(QString::fromStdString(path));
    ASSERT_EQ(lines.size(), 3) << "one header, the cut row, the new row on a line of its own";
    EXPECT_EQ(lines[2].split(',').size(), kColumns);

    const std::string other = pathIn(dir, "data.csv");
    const QByteArray data("a,b\n1,2\n");
    {
        QFile file(QString::fromStdString(other));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }
    EXPECT_FALSE(log.start(other, error));
    EXPECT_FALSE(log.active());
    EXPECT_NE(error.find("something other"), std::string::npos) << error;
    QFile file(QString::fromStdString(other));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), data) << "left as it was";
}

TEST(MeasurementLog, AFileThatCannotBeWrittenDoesNotStartTheLog) {
    MeasurementLog log;
    std::string error;
    EXPECT_FALSE(log.start("/dev/full", error));  // the header cannot be written
    EXPECT_EQ(error, std::strerror(ENOSPC));
    EXPECT_FALSE(log.active());
    EXPECT_FALSE(log.start("/nonexistent-folder/log.csv", error));
    EXPECT_EQ(error, std::strerror(ENOENT));
}

}  // namespace
