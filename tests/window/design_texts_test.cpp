// Every text of the window shows whole in its control, as drawn: each list item, edit text,
// caption and button text is drawn into the control in the start-up window, and its glyphs must
// all be there and lie on the control's plain background, clear of the drop-down button, the
// frame and the radio button's circle.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QSet>
#include <algorithm>

#include "WindowFixture.h"
#include "window/GeneratorStrip.h"
#include "window/WindowDesign.h"

namespace {

using window_test::WindowOnSimCard;

// The columns and rows where two pictures of the same size differ; empty when they are alike.
struct Ink {
    int left = 0, right = -1, top = 0, bottom = -1;
    bool empty() const { return right < left; }
    int width() const { return right - left + 1; }
};

Ink difference(const QImage& a, const QImage& b) {
    Ink ink;
    bool found = false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) == b.pixel(x, y)) continue;
            if (!found) ink = {x, x, y, y};
            found = true;
            ink = {std::min(ink.left, x), std::max(ink.right, x), std::min(ink.top, y),
                   std::max(ink.bottom, y)};
        }
    return ink;
}

// The width of `text`'s glyphs drawn alone in `font`, with room all around: the least over the
// places between two pixels that a control may draw it at (a centred text, say), as the glyphs'
// edges fall on one column more or less.
int wholeWidth(const QFont& font, const QString& text) {
    QImage blank(600, 80, QImage::Format_RGB32);
    blank.fill(Qt::white);
    int least = blank.width();
    for (const double offset : {0.0, 0.25, 0.5, 0.75}) {
        QImage drawn = blank;
        QPainter painter(&drawn);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(100.0 + offset, 50.0), text);
        painter.end();
        least = std::min(least, difference(drawn, blank).width());
    }
    return least;
}

// Shows `text` in `control` as the program does: a list selects the item, an editable list and an
// edit box show it from its start, a label or button takes it as its caption.
void showText(QWidget* control, const QString& text) {
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        if (list->isEditable()) {
            list->setEditText(text);
            list->lineEdit()->setCursorPosition(0);
        } else {
            list->setCurrentIndex(list->findText(text, Qt::MatchExactly));
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
        edit->setCursorPosition(0);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    }
}

QString textOf(const QWidget* control) {
    if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentText();
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
    if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    return {};
}

// The control alone, as it shows: without the focus (no text cursor or focus frame), shown.
QImage picture(QWidget* control) {
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    return control->grab().toImage();
}

// Controls whose text the design never lets the user see: never shown, right of the window, under
// Button2 (Edit17), under the strip's own controls (Panel13's caption); and the device notice,
// whose text wraps.
const QSet<QString> kUnseen{"TrackBar1", "ComboBox5", "ComboBox6", "Panel6",      "Panel3",
                            "Edit11",    "Edit17",    "Panel13",   "DeviceNotice"};

// The texts each control of the design can show: every item of a list, and the text the design
// gives it and the one it shows after start-up and a few passes (the read-outs' values).
struct Shown {
    QWidget* control;
    QStringList texts;
};

std::vector<Shown> everyText(const WindowOnSimCard& w) {
    QMainWindow designed;
    QImage screen(window::kDesignClientWidth, window::kDesignClientHeight, QImage::Format_RGB32);
    window::buildDesign(designed, screen);
    std::vector<Shown> shown;
    for (QWidget* control : w.form->findChildren<QWidget*>()) {
        const QString name = control->objectName();
        const bool texted = qobject_cast<QComboBox*>(control) || qobject_cast<QLabel*>(control) ||
                            qobject_cast<QAbstractButton*>(control) ||
                            (qobject_cast<QLineEdit*>(control) &&
                             !qobject_cast<QComboBox*>(control->parentWidget()));
        if (!texted || name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
            kUnseen.contains(name))
            continue;
        QStringList texts;
        if (auto* list = qobject_cast<QComboBox*>(control))
            for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
        if (const auto* original = designed.findChild<QWidget*>(name)) texts << textOf(original);
        texts << textOf(control);
        texts.removeDuplicates();
        texts.removeAll(QString());
        shown.push_back({control, texts});
    }
    return shown;
}

TEST(DesignTexts, EveryTextShowsWholeOnItsControlsPlainBackground) {
    WindowOnSimCard w;
    w.passes(8);  // the read-outs show measured values
    w.form->design().Strip->showGenerator(true);
    const std::vector<Shown> shown = everyText(w);
    QStringList names;
    for (const Shown& s : shown) names << s.control->objectName();
    for (const char* name :
         {"ComboBox1", "ComboBox2", "ComboBox4", "ComboBox7", "ComboBox8", "ComboBox9", "Edit1",
          "Edit4", "Edit13", "Edit18", "Panel10", "Panel14", "RadioButton2", "Button2"})
        ASSERT_TRUE(names.contains(QLatin1String(name))) << name << " is not checked";

    for (const auto& [control, texts] : shown) {
        const QString name = control->objectName();
        control->show();  // the hidden warnings and the strip's other group
        showText(control, QString());
        const QImage bare = picture(control);
        for (const QString& text : texts) {
            SCOPED_TRACE(name.toStdString() + " \"" + text.toStdString() + "\"");
            showText(control, text);
            const QImage drawn = picture(control);
            const Ink ink = difference(drawn, bare);
            ASSERT_FALSE(ink.empty());
            EXPECT_GE(ink.width(), wholeWidth(control->font(), text)) << "glyphs missing";
            // Where the text is (a column more on each side), the control without it is one
            // colour along each row: no arrow, button edge, frame or circle lies there.
            const int from = std::max(ink.left - 1, 0);
            const int to = std::min(ink.right + 1, bare.width() - 1);
            const int middle = (ink.left + ink.right) / 2;
            int covered = 0;
            for (int y = ink.top; y <= ink.bottom; ++y)
                for (int x = from; x <= to; ++x)
                    if (bare.pixel(x, y) != bare.pixel(middle, y)) ++covered;
            EXPECT_EQ(covered, 0) << "the text lies over other parts of the control, columns "
                                  << from << " to " << to << " of " << bare.width();
        }
    }
}

}  // namespace
