#include "app/MeasurementTable.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <optional>

#include "instrument/NumText.h"
#include "measurement/Levels.h"

namespace app {

namespace {

using measurement::ChannelMeasurement;
using measurement::Statistic;

// About five significant digits: enough for the frequency's 0.05 % and a width's 1 %.
constexpr int kSignificantDigits = 5;

struct Unit {
    const char* name;
    double perBase;   // units per SI base unit (1e6 µs per second)
    int maxDecimals;  // finer than this the figures do not resolve
};

constexpr Unit kHertz{"Hz", 1.0, 3};
constexpr Unit kKilohertz{"kHz", 1e-3, 4};
constexpr Unit kMicroseconds{"µs", 1e6, 3};
constexpr Unit kMilliseconds{"ms", 1e3, 4};
constexpr Unit kSeconds{"s", 1.0, 6};
constexpr Unit kPercent{"%", 1.0, 2};
constexpr Unit kLevelPercent{"%", 100.0 / measurement::kFullScale, 3};
constexpr Unit kVolts{"V", 1.0, 4};
constexpr Unit kMillivolts{"mV", 1e3, 3};

QString withUnit(double value, const Unit& unit) {
    const double scaled = value * unit.perBase;
    int decimals = 0;
    if (scaled != 0.0 && std::isfinite(scaled)) {
        const int magnitude = static_cast<int>(std::floor(std::log10(std::abs(scaled))));
        decimals = std::clamp(kSignificantDigits - 1 - magnitude, 0, unit.maxDecimals);
    }
    // A value that rounds to zero is shown as 0, as an exact zero is, never as "-0.00".
    const bool zero = std::abs(scaled) < 0.5 * std::pow(10.0, -decimals);
    instrument::NumText40 text;
    text.setFixed(zero ? 0.0 : scaled, 0, zero ? 0 : decimals);
    return QString::fromLatin1(text.c_str()) + QLatin1Char(' ') + QString::fromUtf8(unit.name);
}

enum class Kind { Frequency, Duration, Percent, Level };

struct FigureInfo {
    const char* name;
    Kind kind;
    const std::optional<Statistic> measurement::Timing::*statistic;  // timing figures
    double measurement::Levels::*level;                              // level figures
};

// The rows' names and where their figures come from, in the order of Figure.
constexpr std::array<FigureInfo, kFigureCount> kFigures{{
    {"frekvence", Kind::Frequency, &measurement::Timing::frequency, nullptr},
    {"perioda", Kind::Duration, &measurement::Timing::period, nullptr},
    {"šířka kladného impulzu", Kind::Duration, &measurement::Timing::positiveWidth, nullptr},
    {"šířka záporného impulzu", Kind::Duration, &measurement::Timing::negativeWidth, nullptr},
    {"střída", Kind::Percent, &measurement::Timing::dutyCycle, nullptr},
    {"doba náběhu (10–90 %)", Kind::Duration, &measurement::Timing::riseTime, nullptr},
    {"doba doběhu (90–10 %)", Kind::Duration, &measurement::Timing::fallTime, nullptr},
    {"horní úroveň", Kind::Level, nullptr, &measurement::Levels::top},
    {"dolní úroveň", Kind::Level, nullptr, &measurement::Levels::base},
    {"amplituda", Kind::Level, nullptr, &measurement::Levels::amplitude},
    {"mezivrcholová hodnota", Kind::Level, nullptr, &measurement::Levels::peakToPeak},
    {"efektivní hodnota", Kind::Level, nullptr, &measurement::Levels::rms},
    {"střední hodnota", Kind::Level, nullptr, &measurement::Levels::mean},
}};

const FigureInfo& infoOf(Figure figure) {
    return kFigures[static_cast<size_t>(figure)];
}

QString figureText(double value, Kind kind) {
    switch (kind) {
        case Kind::Frequency:
            return frequencyText(value);
        case Kind::Duration:
            return durationText(value);
        case Kind::Percent:
            return percentText(value);
        case Kind::Level:
            return levelText(value);
    }
    return {};
}

// Column widths of the text table, in characters, in the order of Column.
constexpr std::array<int, kColumnCount> kColumnWidths{14, 14, 14, 18, 7};

QString padded(const QString& text, Column column) {
    return text.rightJustified(kColumnWidths[static_cast<size_t>(column)]);
}

}  // namespace

QString channelTitle(Channel channel) {
    return channel == Channel::R ? QStringLiteral("kanál R (napětí UR)")
                                 : QStringLiteral("kanál L (proud IL)");
}

const ChannelMeasurement& channelOf(const instrument::CaptureMeasurement& measured,
                                    Channel channel) {
    return channel == Channel::R ? measured.R : measured.L;
}

QString figureName(Figure figure) {
    return QString::fromUtf8(infoOf(figure).name);
}

QString columnName(Column column) {
    switch (column) {
        case Column::Value:
            return QStringLiteral("hodnota");
        case Column::Minimum:
            return QStringLiteral("minimum");
        case Column::Maximum:
            return QStringLiteral("maximum");
        case Column::Sigma:
            return QStringLiteral("směr. odchylka σ");
        case Column::Count:
            return QStringLiteral("počet");
    }
    return {};
}

measurement::Levels shownLevels(const ChannelMeasurement& channel, const ChannelScale& scale) {
    return scale.logic ? measurement::levelsFromBase(channel.levels) : channel.levels;
}

std::optional<measurement::VoltLevels> shownVolts(const ChannelMeasurement& channel,
                                                  const ChannelScale& scale) {
    if (!scale.calibrated() || channel.frames == 0) return std::nullopt;
    return measurement::voltLevels(shownLevels(channel, scale), scale.voltsPerUnit, 1.0);
}

RowTexts rowTexts(const ChannelMeasurement& channel, Figure figure, const ChannelScale& scale) {
    const FigureInfo& info = infoOf(figure);
    RowTexts cells;
    if (channel.frames == 0) {  // nothing captured to measure
        cells[static_cast<size_t>(Column::Value)] = kNothingMeasured;
        return cells;
    }
    if (info.level != nullptr) {
        const double units = shownLevels(channel, scale).*info.level;
        cells[static_cast<size_t>(Column::Value)] = scale.calibrated()
                                                        ? voltText(units * scale.voltsPerUnit)
                                                        : figureText(units, info.kind);
        return cells;
    }
    const std::optional<Statistic>& statistic = channel.timing.*info.statistic;
    if (!statistic) {
        cells.fill(kNothingMeasured);
        return cells;
    }
    const QString mark = atSamplingLimit(channel, figure) ? kSamplingLimitMark : QString();
    cells[static_cast<size_t>(Column::Value)] = mark + figureText(statistic->mean, info.kind);
    cells[static_cast<size_t>(Column::Minimum)] = figureText(statistic->min, info.kind);
    cells[static_cast<size_t>(Column::Maximum)] = figureText(statistic->max, info.kind);
    cells[static_cast<size_t>(Column::Sigma)] = figureText(statistic->sigma, info.kind);
    cells[static_cast<size_t>(Column::Count)] = QString::number(statistic->count);
    return cells;
}

bool atSamplingLimit(const ChannelMeasurement& channel, Figure figure) {
    if (figure == Figure::RiseTime)
        return channel.timing.riseTime && channel.timing.riseTimeAtSamplingLimit;
    if (figure == Figure::FallTime)
        return channel.timing.fallTime && channel.timing.fallTimeAtSamplingLimit;
    return false;
}

QString clippingWarning() {
    return QStringLiteral("přebuzeno: signál přesáhl rozsah vstupu, úrovně neplatí");
}

QString samplingLimitNote() {
    return QStringLiteral(
        "≤: na mezi vzorkování (do dvou vzorků), skutečná hrana je stejně "
        "rychlá nebo rychlejší");
}

QString levelsNote() {
    return QStringLiteral("úrovně v % plného rozsahu vstupu (%1 = 100 %)")
        .arg(measurement::kFullScale);
}

QString levelsNote(const ChannelScales& scales) {
    const bool r = scaleOf(scales, Channel::R).calibrated();
    const bool l = scaleOf(scales, Channel::L).calibrated();
    if (r && l) return QStringLiteral("úrovně ve voltech podle kalibrace");
    if (!r && !l) return levelsNote();
    return QStringLiteral(
               "úrovně kanálu %1 ve voltech podle kalibrace, kanálu %2 v % plného "
               "rozsahu vstupu (%3 = 100 %)")
        .arg(r ? QStringLiteral("R") : QStringLiteral("L"),
             r ? QStringLiteral("L") : QStringLiteral("R"))
        .arg(measurement::kFullScale);
}

QString tableText(const instrument::CaptureMeasurement& measured, const ChannelScales& scales) {
    int nameWidth = 0;
    for (int f = 0; f < kFigureCount; ++f)
        nameWidth = std::max(nameWidth, static_cast<int>(figureName(Figure(f)).size()));
    nameWidth += 2;

    QStringList lines;
    lines << QStringLiteral("Měření záznamu č. %1: %2 vzorků na kanál; %3")
                 .arg(measured.buffer)
                 .arg(measured.R.frames)
                 .arg(levelsNote(scales));
    for (const Channel channel : {Channel::R, Channel::L}) {
        const ChannelMeasurement& c = channelOf(measured, channel);
        lines << QString() << channelTitle(channel);
        QString heading = QStringLiteral("veličina").leftJustified(nameWidth);
        for (int col = 0; col < kColumnCount; ++col)
            heading += padded(columnName(Column(col)), Column(col));
        lines << heading;
        bool limitShown = false;
        for (int f = 0; f < kFigureCount; ++f) {
            QString line = figureName(Figure(f)).leftJustified(nameWidth);
            const RowTexts cells = rowTexts(c, Figure(f), scaleOf(scales, channel));
            for (int col = 0; col < kColumnCount; ++col)
                line += padded(cells[static_cast<size_t>(col)], Column(col));
            lines << line;
            limitShown = limitShown || atSamplingLimit(c, Figure(f));
        }
        if (scaleOf(scales, channel).logic) lines << logicNote(measured, channel);
        if (c.levels.clipped) lines << clippingWarning();
        if (limitShown) lines << samplingLimitNote();
    }
    for (QString& line : lines) {
        while (line.endsWith(QLatin1Char(' '))) line.chop(1);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString frequencyText(double hertz) {
    return withUnit(hertz, std::abs(hertz) < 1000.0 ? kHertz : kKilohertz);
}

QString durationText(double seconds) {
    const double size = std::abs(seconds);
    return withUnit(seconds, size < 1e-3 ? kMicroseconds : size < 1.0 ? kMilliseconds : kSeconds);
}

QString percentText(double percent) {
    return withUnit(percent, kPercent);
}

QString levelText(double sampleUnits) {
    return withUnit(sampleUnits, kLevelPercent);
}

QString voltText(double volts) {
    return withUnit(volts, std::abs(volts) < 1.0 && volts != 0.0 ? kMillivolts : kVolts);
}

QString logicNote(const instrument::CaptureMeasurement& measured, Channel channel) {
    const measurement::RestoredChannel& r =
        channel == Channel::R ? measured.restoredR : measured.restoredL;
    const QString base = QStringLiteral("logický signál: L = 0 V");
    switch (r.source) {
        case measurement::CornerSource::Given:
            return base + QStringLiteral(", vazba vyrovnána (mez %1 ze smyčky)")
                              .arg(frequencyText(r.cornerHz));
        case measurement::CornerSource::Droop:
            return base + QStringLiteral(", vazba vyrovnána (mez %1 z poklesu úrovní)")
                              .arg(frequencyText(r.cornerHz));
        case measurement::CornerSource::None:
            break;
    }
    return base + QStringLiteral(", vazbu nelze vyrovnat (mez nenalezena)");
}

}  // namespace app
