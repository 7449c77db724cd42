#include "window/MenuCornerEntry.h"

#include <QAction>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionMenuItem>

namespace window {

namespace {

// The room beside the caption: the bar's entries have 4 pixels on either side; the caption keeps
// its place from the left edge as in them, and the right side gives up one pixel.
constexpr int kLeftPadding = 4;
constexpr int kRightPadding = 3;
constexpr int kVerticalPadding = 1;

}  // namespace

MenuCornerEntry::MenuCornerEntry(QAction& action, QMenuBar& bar) : QToolButton(&bar), bar_(bar) {
    setFont(bar.font());  // not the bar's style sheet's: the bar's own
    setDefaultAction(&action);
    setFocusPolicy(Qt::NoFocus);  // as the bar's entries: reached by the mouse and the key
    setAttribute(Qt::WA_Hover);   // the highlight follows the mouse
    bar.setCornerWidget(this, Qt::TopRightCorner);
}

QSize MenuCornerEntry::sizeHint() const {
    const QFontMetrics metrics = bar_.fontMetrics();
    return {kLeftPadding + metrics.horizontalAdvance(text()) + kRightPadding,
            metrics.height() + 2 * kVerticalPadding};
}

void MenuCornerEntry::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionMenuItem option;
    option.initFrom(this);
    option.palette = bar_.palette();
    option.state = QStyle::State_None;
    if (isEnabled()) option.state |= QStyle::State_Enabled;
    // The bar marks the entry under the mouse as selected, and a pressed one as sunken too.
    if (isEnabled() && (underMouse() || isDown())) option.state |= QStyle::State_Selected;
    if (isDown()) option.state |= QStyle::State_Sunken;
    option.rect = rect();
    option.menuRect = bar_.rect();
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.checkType = QStyleOptionMenuItem::NotCheckable;
    option.text = text();
    option.fontMetrics = bar_.fontMetrics();
    painter.setFont(bar_.font());
    bar_.style()->drawControl(QStyle::CE_MenuBarItem, &option, &painter, &bar_);
}

}  // namespace window
