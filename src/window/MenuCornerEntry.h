// An entry of a menu bar in the bar's right corner, for an action its designed entries leave no
// room for: the bar would push a further entry of its own into its overflow button, and making
// room among the others would move them. This one is drawn by the bar's style as the bar draws
// its entries (the same font, padding and highlight under the mouse), triggers its action when
// clicked, and is as wide as its caption with a narrower padding on the right.
#pragma once

#include <QToolButton>

class QAction;
class QMenuBar;

namespace window {

class MenuCornerEntry final : public QToolButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MenuCornerEntry)

  public:
    // Puts the entry of `action` into the top right corner of `bar`, which owns it.
    MenuCornerEntry(QAction& action, QMenuBar& bar);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QMenuBar& bar_;
};

}  // namespace window
