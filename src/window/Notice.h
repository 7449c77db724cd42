// A short notice over the screen that fades by itself: it tells the user what happened without a
// modal box. It lies on the client area, centred just above a given control, moves no control,
// takes neither focus nor clicks, and each new text replaces the one shown.
#pragma once

#include <QLabel>
#include <QString>
#include <QTimer>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace window {

class Notice final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Notice)

  public:
    enum class Kind { Done, Failed };

    // Lies on `area` (which owns it), its bottom edge a little above `above`'s top.
    Notice(QWidget& area, const QWidget& above);

    // Shows `text` at full strength, holds it for a few seconds (a failure longer) and fades it.
    void showText(const QString& text, Kind kind);
    // Gone at once, e.g. before the window is pictured.
    void dismiss();

  private:
    void place();

    const QWidget& above_;
    QGraphicsOpacityEffect* opacity_ = nullptr;
    QPropertyAnimation* fade_ = nullptr;
    QTimer hold_;
};

}  // namespace window
