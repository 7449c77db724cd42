// The measurement table's texts: the figures in the units a person reads, the same in every
// locale, "—" where nothing was measured, a level's value alone, the sampling limit marked.
#include <gtest/gtest.h>

#include <QLocale>
#include <clocale>
#include <functional>

#include "app/MeasurementTable.h"

namespace {

using namespace app;

struct Case {
    std::function<QString(double)> format;
    double value;
    const char* text;
};

// The unit follows the figure's size; about five significant digits, never below the unit's
// resolution; a value that rounds to zero is "0", never "-0".
const Case kCases[] = {
    {frequencyText, 490.0, "490.00 Hz"},
    {frequencyText, 49.0, "49.000 Hz"},
    {frequencyText, 0.0071, "0.007 Hz"},
    {frequencyText, 999.4, "999.40 Hz"},
    {frequencyText, 1000.0, "1.0000 kHz"},
    {frequencyText, 12345.6, "12.346 kHz"},
    {frequencyText, 0.0, "0 Hz"},
    {durationText, 2.0408163e-3, "2.0408 ms"},
    {durationText, 5.2154e-4, "521.54 µs"},
    {durationText, 2.2e-8, "0.022 µs"},
    {durationText, 1.5, "1.5000 s"},
    {durationText, 0.0, "0 µs"},
    {durationText, -1e-12, "0 µs"},
    {percentText, 25.5555, "25.56 %"},
    {percentText, 0.004, "0 %"},
    {levelText, 8000.0, "24.414 %"},
    {levelText, -2005.8, "-6.121 %"},
    {levelText, 32768.0, "100.00 %"},
    {levelText, -1e-9, "0 %"},
};

TEST(MeasurementTable, FiguresInTheUnitsAPersonReadsInAnyLocale) {
    for (const bool czech : {false, true}) {
        SCOPED_TRACE(czech ? "cs_CZ" : "C");
        // Both the C library's and Qt's idea of the locale: a decimal comma in Czech.
        if (czech) {
            std::setlocale(LC_ALL, "cs_CZ.UTF-8");
            QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic));
        }
        for (const Case& c : kCases)
            EXPECT_EQ(c.format(c.value), QString::fromUtf8(c.text)) << c.value;
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
    }
}

TEST(MeasurementTable, RowsShowWhatWasMeasuredAndDashesForWhatWasNot) {
    measurement::ChannelMeasurement c;
    const RowTexts none = rowTexts(c, Figure::Top);  // no capture at all
    EXPECT_EQ(none[0], kNothingMeasured);

    c.frames = 11025;
    c.levels.top = 8000;
    const RowTexts top = rowTexts(c, Figure::Top);  // one value per capture
    EXPECT_EQ(top[0], QStringLiteral("24.414 %"));
    for (size_t col = 1; col < top.size(); ++col) EXPECT_TRUE(top[col].isEmpty()) << col;
    for (const QString& cell : rowTexts(c, Figure::Frequency))  // no edges: no timing
        EXPECT_EQ(cell, kNothingMeasured);

    c.timing.riseTime = measurement::Statistic{18.1e-6, 18.0e-6, 18.3e-6, 0.05e-6, 122};
    c.timing.riseTimeAtSamplingLimit = true;
    const RowTexts rise = rowTexts(c, Figure::RiseTime);
    EXPECT_EQ(rise, (RowTexts{QStringLiteral("≤ 18.100 µs"), QStringLiteral("18.000 µs"),
                              QStringLiteral("18.300 µs"), QStringLiteral("0.050 µs"),
                              QStringLiteral("122")}));
    EXPECT_TRUE(atSamplingLimit(c, Figure::RiseTime));
    EXPECT_FALSE(atSamplingLimit(c, Figure::FallTime)) << "no fall time measured";
}

}  // namespace
