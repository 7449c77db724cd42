// The bottom strip through the real window: the time shift or the generator's controls, switched
// by the toggle at its right end and by F2.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <array>

#include "support/WindowFixture.h"
#include "window/Controls.h"
#include "window/GeneratorStrip.h"

namespace {

// The shown group is usable: left to right, each control enabled, inside the strip and the client
// area and overlapped by no other shown control of the strip; the lists show every item whole.
void expectShows(const window::Design& d, bool generator) {
    std::vector<QWidget*> row{d.ComboBox7,  d.Edit13, d.ScrollBar4,
                              d.ScrollBar5, d.Edit14, d.ComboBox8};
    for (QWidget* control : row)
        EXPECT_EQ(control->isVisible(), generator) << control->objectName();
    EXPECT_TRUE(d.Panel10->isVisible() != generator && d.ScrollBar3->isVisible() != generator);
    if (!generator) row.clear();
    row.push_back(d.generatorToggle);
    int left = generator ? -1 : d.ScrollBar3->x();
    for (const QWidget* control : row) {
        const QRect r = control->geometry();
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_TRUE(control->isVisible() && control->isEnabled());
        EXPECT_GT(r.left(), std::exchange(left, r.left()));
        EXPECT_TRUE(d.Panel13->rect().contains(r) &&
                    d.client->rect().contains(r.translated(d.Panel13->pos())));
        for (const QWidget* other : d.Panel13->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(other == control || !other->isVisible() || !other->geometry().intersects(r))
                << other->objectName();
    }
    for (const QComboBox* list : {d.ComboBox7, d.ComboBox8})  // the edit field's margins: 2 + 2
        for (int i = 0; i < list->count(); ++i)
            EXPECT_LE(list->fontMetrics().horizontalAdvance(list->itemText(i)) + 4,
                      list->lineEdit()->width());
    EXPECT_EQ(d.strip->generatorShown(), generator);
    EXPECT_EQ(d.generatorToggle->isChecked(), generator);
    EXPECT_EQ(d.generatorToggle->toolTip(),
              generator ? QStringLiteral("přepnout na časový posun signálů (F2)")
                        : QStringLiteral("přepnout na ovládání generátoru (F2)"));
    EXPECT_EQ(d.client->size(), QSize(800, 526));
}

TEST(GeneratorStrip, ToggleAndKeyEachSwitchTheStripAndRunNoHandler) {
    for (const bool byKey : {false, true}) {
        SCOPED_TRACE(byKey ? "F2" : "toggle");
        window_test::WindowOnSimCard w;
        w.form->activateWindow();  // the key belongs to the active window
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
        const window::Design& d = w.form->design();
        auto use = [&] {  // the key from whichever control has the focus, a text field among them
            byKey ? QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2)
                  : window_test::click(d.generatorToggle);
        };
        // A change handler runs exactly when a bar's position changes.
        auto positions = [&d] {
            return std::array{d.ScrollBar3->position(), d.ScrollBar4->position(),
                              d.ScrollBar5->position()};
        };
        const auto before = positions();

        expectShows(d, false);
        use();
        expectShows(d, true);
        d.Edit14->setFocus();
        use();
        expectShows(d, false);
        const QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(focus != nullptr && focus->isVisible()) << "focus left the hidden group";
        EXPECT_EQ(positions(), before);
    }
}

}  // namespace
