#include "app/MeasurementWindow.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/SaveCapture.h"
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

void printLine(std::FILE* stream, const QString& text) {
    std::fprintf(stream, "soundscope: %s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

}  // namespace

MeasurementWindow::MeasurementWindow(QWidget& owner, const window::Design& d,
                                     const instrument::CaptureMeasurement& measured)
    : QWidget(&owner, Qt::Window), owner_(owner), measured_(measured) {
    setObjectName(QStringLiteral("MeasurementWindow"));
    setWindowTitle(QStringLiteral("Měření"));
    // The main window's size of text: two tables of thirteen rows fit a laptop's screen.
    QFont compact = font();
    compact.setPixelSize(kFontPixels);
    setFont(compact);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // as large as its tables
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("MeasurementCaption"));
    layout->addWidget(caption_);
    for (const Channel channel : {Channel::R, Channel::L}) {
        channels_[static_cast<size_t>(channel)] = buildChannel(channel);
    }
    auto* levels = new QLabel(levelsNote(), this);
    layout->addWidget(levels);

    auto* logRow = new QHBoxLayout;
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
    logRow->addWidget(logButton_);
    logRow->addWidget(logStatus_, 1);
    layout->addLayout(logRow);
    // The button's check mark follows the log, not the click: toggleLog sets it.
    connect(logButton_, &QPushButton::clicked, this, [this] { toggleLog(); });

    auto* copy = new QShortcut(QKeySequence::Copy, this);
    copy->setObjectName(QStringLiteral("CopyTableKey"));
    connect(copy, &QShortcut::activated, this, &MeasurementWindow::copyTable);

    connect(d.measurement1, &QAction::triggered, this, &MeasurementWindow::toggle);
    d.client->setToolTip(d.client->toolTip() +
                         QStringLiteral("\n%1 nebo „měření“ v nabídce otevře a zavře okno měření")
                             .arg(d.measurement1->shortcut().toString(QKeySequence::NativeText)));
    showFigures();
}

MeasurementWindow::ChannelWidgets MeasurementWindow::buildChannel(Channel channel) {
    const QColor colour = channel == Channel::R ? kAqua : kYellow;
    const QString suffix = channel == Channel::R ? QStringLiteral("R") : QStringLiteral("L");
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
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
    layout->addWidget(title);

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
    return w;
}

QTableWidget* MeasurementWindow::table(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].table;
}

QLabel* MeasurementWindow::clippingWarning(Channel channel) const {
    return channels_[static_cast<size_t>(channel)].clipping;
}

void MeasurementWindow::toggle() {
    if (isVisible()) {
        close();
        return;
    }
    if (geometry_.isEmpty()) {
        placeBesideOwner();
    } else {
        restoreGeometry(geometry_);
    }
    show();
    raise();
    activateWindow();
}

void MeasurementWindow::placeBesideOwner() {
    adjustSize();
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
    for (const Channel channel : {Channel::R, Channel::L}) {
        const measurement::ChannelMeasurement& c = channelOf(measured_, channel);
        const ChannelWidgets& w = channels_[static_cast<size_t>(channel)];
        bool limit = false;
        for (int f = 0; f < kFigureCount; ++f) {
            const RowTexts cells = rowTexts(c, Figure(f));
            for (int col = 0; col < kColumnCount; ++col) {
                QTableWidgetItem* item = w.table->item(f, col);
                if (item->text() != cells[static_cast<size_t>(col)])
                    item->setText(cells[static_cast<size_t>(col)]);
            }
            limit = limit || atSamplingLimit(c, Figure(f));
        }
        w.clipping->setVisible(c.levels.clipped);
        w.limitNote->setVisible(limit);
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
    if (log_.append(measured_, std::chrono::system_clock::now(), error)) {
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
