// Every text of the window shows whole in its control, as drawn: each list item, edit text,
// caption and button text is drawn into its control in the start-up window, and its glyphs must
// all be there and lie on the control's plain background, clear of the drop-down button, the
// frame and the radio button's circle.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <algorithm>

#include "support/WindowFixture.h"
#include "window/GeneratorStrip.h"
#include "window/WindowDesign.h"

namespace {

// The box around the pixels where two pictures of the same size differ.
struct Ink {
    int left = 0, right = -1, top = 0, bottom = -1;
    int width() const { return right - left + 1; }
};

Ink difference(const QImage& a, const QImage& b) {
    Ink ink{a.width(), -1, a.height(), -1};
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                ink = {std::min(ink.left, x), std::max(ink.right, x), std::min(ink.top, y),
                       std::max(ink.bottom, y)};
    return ink;
}

// The width of `text`'s glyphs drawn alone in `font`: the least over the places between two
// pixels that a control may draw it at (a centred text), as the glyphs' edges fall on one column
// more or less.
int wholeWidth(const QFont& font, const QString& text) {
    QImage blank(600, 80, QImage::Format_RGB32);
    blank.fill(Qt::white);
    int least = blank.width();
    for (const double offset : {0.0, 0.25, 0.5, 0.75}) {
        QImage drawn = blank;
        QPainter painter(&drawn);
        painter.setFont(font);
        painter.drawText(QPointF(100.0 + offset, 50.0), text);
        painter.end();
        least = std::min(least, difference(drawn, blank).width());
    }
    return least;
}

// Shows `text` as the program does: a list selects the item, an editable list and an edit box
// show it from its start, a label or a button takes it as its caption.
void showText(QWidget* control, const QString& text) {
    auto* list = qobject_cast<QComboBox*>(control);
    auto* edit = list != nullptr ? list->lineEdit() : qobject_cast<QLineEdit*>(control);
    if (edit != nullptr) {
        edit->setText(text);
        edit->setCursorPosition(0);
    } else if (list != nullptr) {
        list->setCurrentIndex(list->findText(text, Qt::MatchExactly));
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

// The control alone, as it shows: without the focus (no text cursor or focus frame).
QImage picture(QWidget* control) {
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    return control->grab().toImage();
}

// Controls whose text the user never sees: never shown, right of the window, under Button2
// (Edit17), under the strip's own controls (Panel13's caption); and the device notice, which
// wraps its text.
const QStringList kUnseen{"TrackBar1", "ComboBox5", "ComboBox6", "Panel6",      "Panel3",
                          "Edit11",    "Edit17",    "Panel13",   "DeviceNotice"};

TEST(DesignTexts, EveryTextShowsWholeOnItsControlsPlainBackground) {
    window_test::WindowOnSimCard w;
    w.passes(8);  // the read-outs show measured values
    QMainWindow designed;
    const QImage screen(window::kDesignClientWidth, window::kDesignClientHeight,
                        QImage::Format_RGB32);
    window::buildDesign(designed, screen);

    QStringList checked;
    for (QWidget* control : w.form->findChildren<QWidget*>()) {
        const QString name = control->objectName();
        const bool texted = qobject_cast<QComboBox*>(control) || qobject_cast<QLabel*>(control) ||
                            qobject_cast<QAbstractButton*>(control) ||
                            (qobject_cast<QLineEdit*>(control) &&
                             !qobject_cast<QComboBox*>(control->parentWidget()));
        // The measurement window lays its controls out to their texts itself.
        if (!texted || name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
            kUnseen.contains(name) || control->window() != w.form.get())
            continue;
        // Every item of a list, the design's text and the one shown after start-up and passes.
        QStringList texts;
        if (auto* list = qobject_cast<QComboBox*>(control))
            for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
        texts << textOf(designed.findChild<QWidget*>(name)) << textOf(control);
        texts.removeDuplicates();
        texts.removeAll(QString());
        checked << name;

        w.form->design().strip->showGenerator(control->parentWidget() == w.form->design().Panel13);
        control->show();  // the hidden warnings
        showText(control, QString());
        const QImage bare = picture(control);
        for (const QString& text : texts) {
            SCOPED_TRACE(name.toStdString() + " \"" + text.toStdString() + "\"");
            showText(control, text);
            const Ink ink = difference(picture(control), bare);
            EXPECT_GE(ink.width(), wholeWidth(control->font(), text)) << "glyphs missing";
            // Where the text is (a column more on each side), the control without it is one
            // colour along each row: no arrow, button edge, frame or circle lies there.
            const int middle = (ink.left + ink.right) / 2;
            int covered = 0;
            for (int y = ink.top; y <= ink.bottom; ++y)
                for (int x = std::max(ink.left - 1, 0);
                     x <= std::min(ink.right + 1, bare.width() - 1); ++x)
                    covered += bare.pixel(x, y) != bare.pixel(middle, y);
            EXPECT_EQ(covered, 0) << "other parts of the control where the text is, columns "
                                  << ink.left << " to " << ink.right << " of " << bare.width();
        }
    }
    for (const char* name :
         {"ComboBox1", "ComboBox2", "ComboBox4", "ComboBox7", "ComboBox8", "ComboBox9", "Edit1",
          "Edit13", "Edit18", "Panel10", "Panel14", "RadioButton2", "Button2"})
        EXPECT_TRUE(checked.contains(QLatin1String(name))) << name << " was not checked";
}

}  // namespace
