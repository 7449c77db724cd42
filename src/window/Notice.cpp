#include "window/Notice.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>

namespace window {

namespace {

constexpr int kHoldDoneMs = 3000;
constexpr int kHoldFailedMs = 6000;  // long enough to read a reason
constexpr int kFadeMs = 1000;
constexpr int kGapAbove = 6;     // between the notice and the control below it
constexpr int kSideMargin = 20;  // the notice stays this far inside the area

const QString kDoneStyle = QStringLiteral(
    "QLabel { background: rgba(0, 0, 0, 200); color: white; border: 1px solid #00c000;"
    " border-radius: 4px; padding: 4px 8px; }");
const QString kFailedStyle = QStringLiteral(
    "QLabel { background: rgba(0, 0, 0, 200); color: #ff6060; border: 1px solid #ff3030;"
    " border-radius: 4px; padding: 4px 8px; }");

}  // namespace

Notice::Notice(QWidget& area, const QWidget& above) : QLabel(&area), above_(above) {
    setObjectName(QStringLiteral("Notice"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignCenter);
    opacity_ = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(opacity_);
    fade_ = new QPropertyAnimation(opacity_, "opacity", this);
    fade_->setDuration(kFadeMs);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    connect(fade_, &QPropertyAnimation::finished, this, &QWidget::hide);
    hold_.setSingleShot(true);
    connect(&hold_, &QTimer::timeout, fade_, [this] { fade_->start(); });
    hide();
}

void Notice::showText(const QString& text, Kind kind) {
    fade_->stop();
    opacity_->setOpacity(1.0);
    setStyleSheet(kind == Kind::Done ? kDoneStyle : kFailedStyle);
    setText(text);
    place();
    show();
    raise();
    hold_.start(kind == Kind::Done ? kHoldDoneMs : kHoldFailedMs);
}

void Notice::dismiss() {
    hold_.stop();
    fade_->stop();
    hide();
}

void Notice::place() {
    const QWidget& area = *parentWidget();
    const int widest = area.width() - 2 * kSideMargin;
    // One line when it fits, else wrapped at the widest the area allows (a long folder's path).
    ensurePolished();
    setWordWrap(false);
    QSize size = sizeHint();
    if (size.width() > widest) {
        setWordWrap(true);
        size = QSize(widest, heightForWidth(widest));
    }
    const int bottom = above_.mapTo(&area, QPoint(0, 0)).y() - kGapAbove;
    setGeometry((area.width() - size.width()) / 2, bottom - size.height(), size.width(),
                size.height());
}

}  // namespace window
