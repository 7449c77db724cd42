#include "app/MeasurementWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "app/SaveCapture.h"
#include "app/TraceView.h"
#include "window/Controls.h"
#include "window/WindowDesign.h"

namespace app {

namespace {

// The channels' colours on the screen, and the warnings' red.
const QColor kAqua(0, 255, 255);
const QColor kYellow(255, 255, 0);
const QColor kScreenBlack(0, 0, 0);
const QString kWarningStyle = QStringLiteral(
    "QLabel { background: rgb(255, 0, 0); color: white; font-weight: bold; padding: 2px; }");
const QString kFailedStyle = QStringLiteral("QLabel { color: rgb(200, 0, 0); }");

// Wide enough for the longest cell, "≤ 99999.000 µs".
const QString kWidestCell = QStringLiteral("≤ 99999.000 kHz");
constexpr int kCellPadding = 12;
constexpr int kRowPadding = 3;
constexpr int kFontPixels = 11;
constexpr int kTraceHeight = 72;
// The window manager's title bar, which a window not yet shown has no frame for.
constexpr int kTitleBarRoom = 32;
constexpr size_t kCaptureChannels = 2;  // interleaved, R first

void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "soundscope: %s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

// The probe's factors offered; any other can be typed.
constexpr double kProbeFactors[] = {1.0, 10.0};

QString factorText(double factor) {
    return QStringLiteral("×") + QString::number(factor, 'g', 6);
}

// A number typed with a decimal point or comma, with or without "×" or "V".
std::optional<double> typedNumber(QString text) {
    text.remove(QStringLiteral("×")).remove(QLatin1Char('V')).remove(QLatin1Char('x'));
    text = text.trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

MeasurementWindow::MeasurementWindow(QWidget& owner, const window::Design& d,
                                     instrument::Instrument& instrument,
                                     ChannelCalibration::CaptureLevel captureLevel)
    : QWidget(&owner, Qt::Window),
      owner_(owner),
      instrument_(instrument),
      measured_(instrument.measured),
      calibration_(instrument, std::move(captureLevel)) {
    setObjectName(QStringLiteral("MeasurementWindow"));
    setWindowTitle(QStringLiteral("Měření"));
    // The main window's size of text: two tables of thirteen rows fit a laptop's screen.
    QFont compact = font();
    compact.setPixelSize(kFontPixels);
    setFont(compact);
    // Its content scrolls on a screen lower than the window (a 768-pixel laptop's).
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll_);
    content_ = new QWidget(scroll_);
    auto* layout = new QVBoxLayout(content_);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // as large as its tables
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("MeasurementCaption"));
    layout->addWidget(caption_);
    for (const Channel channel : {Channel::R, Channel::L}) {
        channels_[static_cast<size_t>(channel)] = buildChannel(channel);
    }
    levelsNote_ = new QLabel(levelsNote(), this);
    levelsNote_->setObjectName(QStringLiteral("LevelsNote"));
    layout->addWidget(levelsNote_);

    // "kalibrace…" beside the log's button; the calibration's state on a line of its own when
    // there is one to tell.
    auto* buttonRow = new QHBoxLayout;
    calibrateButton_ = new QPushButton(QStringLiteral("kalibrace…"), this);
    calibrateButton_->setObjectName(QStringLiteral("CalibrateButton"));
    calibrateButton_->setToolTip(
        QStringLiteral("přiveďte na vstup signál známého napětí a zadejte jeho amplitudu nebo "
                       "mezivrcholovou hodnotu ve voltech"));
    calibrationStatus_ = new QLabel(this);
    calibrationStatus_->setObjectName(QStringLiteral("CalibrationStatus"));
    calibrationStatus_->setWordWrap(true);
    calibrationStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    calibrationStatus_->hide();
    connect(calibrateButton_, &QPushButton::clicked, this,
            &MeasurementWindow::openCalibrationDialog);

    logButton_ = new QPushButton(QStringLiteral("záznam do CSV"), this);
    logButton_->setObjectName(QStringLiteral("LogButton"));
    logButton_->setCheckable(true);
    logButton_->setToolTip(
        QStringLiteral("zapisuje řádek měření každého záznamu do souboru CSV; "
                       "dalším stiskem se zápis ukončí"));
    logStatus_ = new QLabel(this);
    logStatus_->setObjectName(QStringLiteral("LogStatus"));
    logStatus_->setWordWrap(true);
    logStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    buttonRow->addWidget(calibrateButton_);
    buttonRow->addWidget(logButton_);
    buttonRow->addWidget(logStatus_, 1);
    layout->addWidget(calibrationStatus_);
    layout->addLayout(buttonRow);
    // The button's check mark follows the log, not the click: toggleLog sets it.
    connect(logButton_, &QPushButton::clicked, this, [this] { toggleLog(); });

    auto* copy = new QShortcut(QKeySequence::Copy, this);
    copy->setObjectName(QStringLiteral("CopyTableKey"));
    connect(copy, &QShortcut::activated, this, &MeasurementWindow::copyTable);

    connect(d.measurement1, &QAction::triggered, this, &MeasurementWindow::toggle);
    d.client->setToolTip(d.client->toolTip() +
                         QStringLiteral("\n%1 nebo „měření“ v nabídce otevře a zavře okno měření")
                             .arg(d.measurement1->shortcut().toString(QKeySequence::NativeText)));
    scroll_->setWidget(content_);
    showFigures();
}

MeasurementWindow::ChannelWidgets MeasurementWindow::buildChannel(Channel channel) {
    const QColor colour = channel == Channel::R ? kAqua : kYellow;
    const QString suffix = channel == Channel::R ? QStringLiteral("R") : QStringLiteral("L");
    auto* layout = static_cast<QVBoxLayout*>(content_->layout());
    ChannelWidgets w;

    auto* title = new QLabel(channelTitle(channel), this);
    title->setObjectName(QStringLiteral("ChannelTitle") + suffix);
    title->setAutoFillBackground(true);
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::Window, kScreenBlack);
    titlePalette.setColor(QPalette::WindowText, colour);
    title->setPalette(titlePalette);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    // The channel's choices in its title's row.
    auto* choices = new QHBoxLayout;
    choices->addWidget(title, 1);
    w.logic = new QCheckBox(QStringLiteral("logický signál: L = 0 V"), this);
    w.logic->setObjectName(QStringLiteral("LogicChoice") + suffix);
    w.logic->setToolTip(
        QStringLiteral("dolní úroveň je 0 V; pokles plochých částí, který způsobuje vazební "
                       "kondenzátor vstupu, se vyrovná"));
    w.probe = new QComboBox(this);
    w.probe->setObjectName(QStringLiteral("ProbeChoice") + suffix);
    w.probe->setEditable(true);
    w.probe->setInsertPolicy(QComboBox::NoInsert);
    w.probe->setToolTip(QStringLiteral("činitel sondy nebo děliče před vstupem (lze napsat)"));
    for (const double factor : kProbeFactors) w.probe->addItem(factorText(factor), factor);
    choices->addWidget(w.logic);
    choices->addWidget(new QLabel(QStringLiteral("sonda"), this));
    choices->addWidget(w.probe);
    layout->addLayout(choices);
    connect(w.logic, &QCheckBox::clicked, this,
            [this, channel](bool on) { setLogic(channel, on); });
    connect(w.probe->lineEdit(), &QLineEdit::editingFinished, this, [this, channel] {
        QComboBox* probe = channels_[static_cast<size_t>(channel)].probe;
        const std::optional<double> factor = typedNumber(probe->currentText());
        if (factor) {
            setProbeFactor(channel, *factor);
        } else {
            showChoices();  // back to the factor in force
        }
    });
    connect(w.probe, &QComboBox::activated, this, [this, channel](int index) {
        QComboBox* probe = channels_[static_cast<size_t>(channel)].probe;
        setProbeFactor(channel, probe->itemData(index).toDouble());
    });

    w.levelWarning = new QLabel(this);
    w.levelWarning->setObjectName(QStringLiteral("LevelWarning") + suffix);
    w.levelWarning->setStyleSheet(kWarningStyle);
    w.levelWarning->setWordWrap(true);
    w.levelWarning->hide();
    layout->addWidget(w.levelWarning);

    w.clipping = new QLabel(app::clippingWarning(), this);
    w.clipping->setObjectName(QStringLiteral("ClippingWarning") + suffix);
    w.clipping->setStyleSheet(kWarningStyle);
    w.clipping->hide();
    layout->addWidget(w.clipping);

    w.table = new QTableWidget(kFigureCount, kColumnCount, this);
    w.table->setObjectName(QStringLiteral("MeasurementTable") + suffix);
    // A display, not a form: no editing, no selection, no focus (Ctrl+C is the window's).
    w.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w.table->setSelectionMode(QAbstractItemView::NoSelection);
    w.table->setFocusPolicy(Qt::NoFocus);
    w.table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    w.table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = w.table->palette();
    palette.setColor(QPalette::Base, kScreenBlack);
    palette.setColor(QPalette::Text, colour);
    w.table->setPalette(palette);
    QStringList rows, columns;
    for (int f = 0; f < kFigureCount; ++f) rows << figureName(Figure(f));
    for (int c = 0; c < kColumnCount; ++c) columns << columnName(Column(c));
    w.table->setVerticalHeaderLabels(rows);
    w.table->setHorizontalHeaderLabels(columns);
    const int cellWidth = w.table->fontMetrics().horizontalAdvance(kWidestCell) + kCellPadding;
    for (int c = 0; c < kColumnCount; ++c) {
        w.table->setColumnWidth(c,
                                c == static_cast<int>(Column::Count) ? cellWidth / 2 : cellWidth);
    }
    for (int f = 0; f < kFigureCount; ++f) {
        for (int c = 0; c < kColumnCount; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            w.table->setItem(f, c, item);
        }
    }
    // Every row and column in view, without scrolling: the table as large as its cells.
    QHeaderView* rowHeader = w.table->verticalHeader();
    rowHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowHeader->setDefaultSectionSize(w.table->fontMetrics().height() + kRowPadding);
    w.table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    int width = rowHeader->sizeHint().width() + 2 * w.table->frameWidth();
    for (int c = 0; c < kColumnCount; ++c) width += w.table->columnWidth(c);
    const int height = w.table->horizontalHeader()->sizeHint().height() +
                       kFigureCount * rowHeader->defaultSectionSize() + 2 * w.table->frameWidth();
    w.table->setFixedSize(width, height);
    layout->addWidget(w.table);

    w.limitNote = new QLabel(samplingLimitNote(), this);
    w.limitNote->setObjectName(QStringLiteral("SamplingLimitNote") + suffix);
    w.limitNote->setWordWrap(true);
    w.limitNote->hide();
    layout->addWidget(w.limitNote);

    w.logicNote = new QLabel(this);
    w.logicNote->setObjectName(QStringLiteral("LogicNote") + suffix);
    w.logicNote->hide();
    layout->addWidget(w.logicNote);

    w.trace = new TraceView(width, kTraceHeight, this);
    w.trace->setObjectName(QStringLiteral("TraceView") + suffix);
    w.trace->setToolTip(
        QStringLiteral("průběh kanálu, jak byl změřen: od první vzestupné hrany, dvě periody; "
                       "šedě horní a dolní úroveň, zeleně hrany jedné periody, červeně "
                       "přebuzené úseky"));
    layout->addWidget(w.trace);
    return w;
}

QTableWidget* MeasurementWindow::table(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].table;
}

QLabel* MeasurementWindow::clippingWarning(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].clipping;
}

QCheckBox* MeasurementWindow::logicChoice(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].logic;
}

QComboBox* MeasurementWindow::probeChoice(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].probe;
}

TraceView* MeasurementWindow::traceView(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].trace;
}

void MeasurementWindow::drawTrace(Channel channel, const ChannelScale& scale) {
    const size_t input = static_cast<size_t>(channel);  // R: the card's first input
    const auto captured = measurement::ChannelView::interleaved(instrument_.screenCapture.values(),
                                                                kCaptureChannels, input);
    const bool logic = measured_.choices[input].logic;
    const measurement::RestoredChannel& restored =
        channel == Channel::R ? measured_.restoredR : measured_.restoredL;
    const measurement::ChannelMeasurement& figures = channelOf(measured_, channel);
    instrument::TraceInput in;
    in.samples = logic ? restored.view() : captured;
    in.captured = captured;
    in.measured = &figures;
    in.frameRate = instrument::kCaptureFrameRate;
    in.colour = channel == Channel::R ? instrument::kAqua : instrument::kYellow;
    in.voltsPerUnit = scale.voltsPerUnit;
    in.offset = scale.logic ? figures.levels.base : 0.0;
    if (in.samples.size() != captured.size()) in.samples = captured;  // not measured as chosen yet
    channels_[input].trace->draw(in);
}

QLabel* MeasurementWindow::levelWarning(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].levelWarning;
}

void MeasurementWindow::useDevice(const QString& device, const QString& storePath) {
    calibration_.useDevice(device, storePath);
    if (!calibration_.note().isEmpty()) {
        showCalibrationState(calibration_.note(), true);
        printLine(stderr, calibration_.logNote());
    } else {
        showCalibrationState(QString(), false);
    }
    showChoices();
}

void MeasurementWindow::setLogic(Channel channel, bool logic) {
    if (!calibration_.setLogic(channel, logic)) showCalibrationState(calibration_.note(), true);
    showChoices();
}

void MeasurementWindow::setProbeFactor(Channel channel, double factor) {
    if (!calibration_.setProbeFactor(channel, factor))
        showCalibrationState(calibration_.note(), true);
    showChoices();
}

bool MeasurementWindow::calibrate(Channel channel, measurement::CalibrationFigure figure,
                                  double volts) {
    QString why;
    const QString name = channel == Channel::R ? QStringLiteral("R") : QStringLiteral("L");
    if (!calibration_.calibrate(channel, figure, volts, why)) {
        showCalibrationState(QStringLiteral("Kanál %1 nelze kalibrovat: %2").arg(name, why), true);
        return false;
    }
    showCalibrationState(QStringLiteral("Kanál %1 kalibrován: %2 na %3 V (%4)")
                             .arg(name, figure == measurement::CalibrationFigure::Amplitude
                                            ? QStringLiteral("amplituda")
                                            : QStringLiteral("mezivrcholová hodnota"))
                             .arg(volts)
                             .arg(calibration_.store().path()),
                         false);
    showChoices();
    return true;
}

void MeasurementWindow::openCalibrationDialog() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("CalibrationDialog"));
    dialog.setWindowTitle(QStringLiteral("kalibrace"));
    auto* form = new QFormLayout(&dialog);
    auto* channel = new QComboBox(&dialog);
    channel->setObjectName(QStringLiteral("CalibrationChannel"));
    channel->addItem(channelTitle(Channel::R));
    channel->addItem(channelTitle(Channel::L));
    auto* figure = new QComboBox(&dialog);
    figure->setObjectName(QStringLiteral("CalibrationFigure"));
    figure->addItem(QStringLiteral("amplituda"));
    figure->addItem(QStringLiteral("mezivrcholová hodnota"));
    auto* measuredNow = new QLabel(&dialog);
    measuredNow->setObjectName(QStringLiteral("CalibrationMeasured"));
    auto* volts = new QLineEdit(&dialog);
    volts->setObjectName(QStringLiteral("CalibrationVolts"));
    volts->setPlaceholderText(QStringLiteral("např. 5,0"));
    auto showMeasured = [this, channel, figure, measuredNow] {
        const Channel c = channel->currentIndex() == 0 ? Channel::R : Channel::L;
        const measurement::Levels levels =
            shownLevels(channelOf(measured_, c), scaleOf(scales(), c));
        const double units = figure->currentIndex() == 0 ? levels.amplitude : levels.peakToPeak;
        measuredNow->setText(
            measured_.number == 0
                ? kNothingMeasured
                : QStringLiteral("změřeno %1 plného rozsahu").arg(levelText(units)));
    };
    showMeasured();
    connect(channel, &QComboBox::currentIndexChanged, &dialog, showMeasured);
    connect(figure, &QComboBox::currentIndexChanged, &dialog, showMeasured);
    form->addRow(QStringLiteral("kanál"), channel);
    form->addRow(QStringLiteral("veličina"), figure);
    form->addRow(QString(), measuredNow);
    form->addRow(QStringLiteral("napětí [V]"), volts);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return;
    const Channel c = channel->currentIndex() == 0 ? Channel::R : Channel::L;
    const auto f = figure->currentIndex() == 0 ? measurement::CalibrationFigure::Amplitude
                                               : measurement::CalibrationFigure::PeakToPeak;
    const std::optional<double> typed = typedNumber(volts->text());
    calibrate(c, f, typed.value_or(0.0));
}

void MeasurementWindow::showChoices() {
    for (const Channel channel : {Channel::R, Channel::L}) {
        const ChannelWidgets& w = channels_[static_cast<size_t>(channel)];
        const ChannelSettings& s = calibration_.settings(channel);
        w.logic->setChecked(s.logic);
        const int listed = w.probe->findData(s.probeFactor);
        if (listed >= 0) {
            w.probe->setCurrentIndex(listed);
        } else {
            w.probe->setEditText(factorText(s.probeFactor));
        }
        const auto c = calibration_.calibration(channel);
        const std::optional<int32_t> level = calibration_.captureLevel(channel);
        w.levelWarning->setText(
            QStringLiteral("úroveň záznamu ve směšovači je jiná než při kalibraci (nyní %1, "
                           "při kalibraci %2): kalibrace nemusí platit")
                .arg(level ? QString::number(*level) : QString(),
                     c && c->captureLevel ? QString::number(*c->captureLevel) : QString()));
        w.levelWarning->setVisible(calibration_.levelDiffers(channel));
    }
    levelsNote_->setText(levelsNote(scales()));
    shown_ = UINT64_MAX;  // the figures in the units now in force
    showFigures();
}

void MeasurementWindow::showCalibrationState(const QString& text, bool failed) {
    calibrationStatus_->setText(text);
    calibrationStatus_->setVisible(!text.isEmpty());
    calibrationStatus_->setStyleSheet(failed ? kFailedStyle : QString());
}

void MeasurementWindow::toggle() {
    if (isVisible()) {
        close();
        return;
    }
    fitToScreen();
    if (geometry_.isEmpty()) {
        placeBesideOwner();
    } else {
        restoreGeometry(geometry_);
    }
    show();
    raise();
    activateWindow();
}

void MeasurementWindow::fitToScreen() {
    content_->adjustSize();
    QSize size = content_->size();
    if (const QScreen* screen = owner_.screen()) {
        const int room = screen->availableGeometry().height() - kTitleBarRoom;
        if (size.height() > room) {
            size.setHeight(std::max(room, 0));
            size.rwidth() += scroll_->verticalScrollBar()->sizeHint().width();
        }
    }
    setFixedSize(size);
}

void MeasurementWindow::placeBesideOwner() {
    const QRect main = owner_.frameGeometry();
    QPoint at(main.right() + 1, main.top());
    if (const QScreen* screen = owner_.screen()) {
        // On a narrow screen it overlaps the main window rather than leaving the screen.
        const QRect room = screen->availableGeometry();
        at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - frameSize().width())));
        at.setY(std::max(room.top(), std::min(at.y(), room.bottom() + 1 - frameSize().height())));
    }
    move(at);
}

void MeasurementWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    showFigures();
    if (log_.active()) showLogProgress();
}

void MeasurementWindow::hideEvent(QHideEvent* event) {
    geometry_ = saveGeometry();
    QWidget::hideEvent(event);
}

void MeasurementWindow::follow() {
    if (measured_.number == followed_) return;
    followed_ = measured_.number;
    if (log_.active()) appendRow();
    if (isVisible()) showFigures();
}

void MeasurementWindow::showFigures() {
    if (shown_ == measured_.number) return;
    shown_ = measured_.number;
    caption_->setText(measured_.number == 0
                          ? QStringLiteral("Zatím nebyl změřen žádný záznam.")
                          : QStringLiteral("Záznam č. %1 na obrazovce: %2 vzorků na kanál")
                                .arg(measured_.buffer)
                                .arg(measured_.R.frames));
    const ChannelScales now = scales();
    for (const Channel channel : {Channel::R, Channel::L}) {
        const measurement::ChannelMeasurement& c = channelOf(measured_, channel);
        const ChannelWidgets& w = channels_[static_cast<size_t>(channel)];
        bool limit = false;
        for (int f = 0; f < kFigureCount; ++f) {
            const RowTexts cells = rowTexts(c, Figure(f), scaleOf(now, channel));
            for (int col = 0; col < kColumnCount; ++col) {
                QTableWidgetItem* item = w.table->item(f, col);
                if (item->text() != cells[static_cast<size_t>(col)])
                    item->setText(cells[static_cast<size_t>(col)]);
            }
            limit = limit || atSamplingLimit(c, Figure(f));
        }
        w.clipping->setVisible(c.levels.clipped);
        w.limitNote->setVisible(limit);
        const bool logic = scaleOf(now, channel).logic && measured_.number != 0;
        if (logic) w.logicNote->setText(logicNote(measured_, channel));
        w.logicNote->setVisible(logic);
        w.levelWarning->setVisible(calibration_.levelDiffers(channel));
        drawTrace(channel, scaleOf(now, channel));
    }
}

void MeasurementWindow::copyTable() {
    QGuiApplication::clipboard()->setText(text());
}

void MeasurementWindow::toggleLog() {
    if (log_.active()) {
        stopLog();
        return;
    }
    logButton_->setChecked(false);  // until a log runs
    const QString suggested =
        QDir(standardFolder(QStandardPaths::DocumentsLocation))
            .filePath(timedFileName(QDateTime::currentDateTime(), QStringLiteral("csv")));
    // An existing log of the same columns is continued, any other file left alone (startLog
    // says so): there is nothing to confirm.
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Záznam měření do CSV"), suggested,
                                     QStringLiteral("CSV (*.csv);;všechny soubory (*)"), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) startLog(path);
}

bool MeasurementWindow::startLog(const QString& path) {
    std::string error;
    const bool started = log_.start(QFile::encodeName(path).toStdString(), error);
    logButton_->setChecked(started);
    if (!started) {
        const QString why = QString::fromLocal8Bit(error.c_str());
        showLogState(QStringLiteral("Záznam do CSV nelze spustit (%1): %2").arg(path, why), true);
        printLine(stderr, QStringLiteral("cannot log the measurements to %1: %2").arg(path, why));
        return false;
    }
    // From the next capture measured on.
    followed_ = measured_.number;
    showLogState(QStringLiteral("Zapisuje se do %1").arg(path), false);
    printLine(stdout, QStringLiteral("logging the measurements to %1").arg(path));
    return true;
}

void MeasurementWindow::stopLog() {
    if (!log_.active()) return;
    log_.stop();
    logButton_->setChecked(false);
    const QString path = QFile::decodeName(log_.path().c_str());
    showLogState(
        QStringLiteral("Záznam do CSV ukončen, zapsáno řádků: %1 (%2)").arg(log_.rows()).arg(path),
        false);
    printLine(stdout,
              QStringLiteral("measurement log %1 ended after %2 rows").arg(path).arg(log_.rows()));
}

void MeasurementWindow::appendRow() {
    std::string error;
    if (log_.append(measured_, std::chrono::system_clock::now(), error, scales())) {
        if (isVisible()) showLogProgress();
        return;
    }
    const QString path = QFile::decodeName(log_.path().c_str());
    const QString why = QString::fromLocal8Bit(error.c_str());
    logButton_->setChecked(false);
    showLogState(QStringLiteral("Záznam do CSV zastaven po %1 řádcích (%2): %3")
                     .arg(log_.rows())
                     .arg(path, why),
                 true);
    printLine(stderr, QStringLiteral("measurement log %1 stopped after %2 rows: %3")
                          .arg(path)
                          .arg(log_.rows())
                          .arg(why));
}

void MeasurementWindow::showLogProgress() {
    showLogState(QStringLiteral("Zapisuje se do %1, zapsáno řádků: %2")
                     .arg(QFile::decodeName(log_.path().c_str()))
                     .arg(log_.rows()),
                 false);
}

void MeasurementWindow::showLogState(const QString& text, bool failed) {
    logStatus_->setText(text);
    logStatus_->setStyleSheet(failed ? kFailedStyle : QString());
}

}  // namespace app
