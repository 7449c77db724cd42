// The main window after start-up, as a user finds it: geometry, read-outs, lists, menu bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <vector>

#include "support/WindowFixture.h"
#include "app/Translations.h"
#include "window/Controls.h"

namespace {

using window_test::WindowOnSimCard;

QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

TEST(StartUp, WindowGeometryAndScaleLabels) {
    WindowOnSimCard w;
    EXPECT_EQ(w.form->pos(), QPoint(0, 0));
    EXPECT_EQ(w.form->width(), 800);
    EXPECT_EQ(w.form->centralWidget()->size(), QSize(800, 526));
    EXPECT_EQ(w.form->screen().clientHeight(), 526);

    EXPECT_EQ(w.find<QSlider>("TrackBar1")->y(), 43);
    for (const char* upper : {"Edit18", "Edit2"}) EXPECT_EQ(w.find<QLineEdit>(upper)->y(), 37);
    for (const char* lower : {"Edit19", "Edit5"}) EXPECT_EQ(w.find<QLineEdit>(lower)->y(), 475);
    EXPECT_EQ(w.find<QLabel>("Panel13")->pos(), QPoint(0, 498));
}

TEST(StartUp, ReadOutsListsAndPanels) {
    WindowOnSimCard w;
    EXPECT_TRUE(w.form->startupError().isEmpty());
    EXPECT_TRUE(w.form->idleHandlerInstalled());

    EXPECT_EQ(w.find<QComboBox>("ComboBox1")->currentText(), QStringLiteral("automatická"));
    EXPECT_EQ(w.find<QComboBox>("ComboBox2")->currentText(), QStringLiteral("automaticky"));
    EXPECT_EQ(w.find<QComboBox>("ComboBox9")->currentText(), QStringLiteral("automaticky"));
    EXPECT_EQ(w.find<QComboBox>("ComboBox7")->currentIndex(), 0);
    EXPECT_EQ(w.find<QComboBox>("ComboBox8")->currentText(), QStringLiteral("100 Hz až 1 kHz"));
    EXPECT_EQ(w.find<QLineEdit>("Edit14")->text(), QStringLiteral(" 100 Hz"));
    EXPECT_EQ(w.find<QLineEdit>("Edit13")->text(), QStringLiteral("110 mV"));
    EXPECT_TRUE(w.find<QLabel>("Panel6")->isHidden());
    EXPECT_TRUE(w.find<QLabel>("Panel14")->isHidden());
    EXPECT_TRUE(w.find<QRadioButton>("RadioButton1")->isChecked());
    EXPECT_FALSE(w.find<QRadioButton>("RadioButton2")->isChecked());

    auto* frequency = w.find<window::ScrollBar>("ScrollBar5");
    EXPECT_EQ(frequency->minimum(), 100);
    EXPECT_EQ(frequency->maximum(), 10000);
    EXPECT_EQ(frequency->position(), 100);
    EXPECT_EQ(frequency->largeChange(), 10);
    EXPECT_EQ(frequency->smallChange(), 1);
    auto* amplitude = w.find<window::ScrollBar>("ScrollBar4");
    EXPECT_EQ(amplitude->maximum(), 32767);
    EXPECT_EQ(amplitude->position(), 3276);

    EXPECT_EQ(w.form->instrument().GeneratorFrequency, 100);
    EXPECT_EQ(w.form->instrument().GeneratorAmplitude, 3276);
    EXPECT_EQ(w.form->instrument().ChannelShift, 5);
    EXPECT_EQ(w.form->instrument().SampleCount, 22100);
    // The frequency bar's change handler made the first capture start request.
    EXPECT_TRUE(w.form->instrument().AudioIn1->DeviceOpen());
}

TEST(StartUp, ListItemsAreExact) {
    WindowOnSimCard w;
    const QStringList ranges{"automaticky", "      50 V",  "      20 V",  "      10 V",
                             "        5 V", "        2 V", "        1 V", "    500 mV",
                             "    200 mV",  "    100 mV",  "      50 mV", "      20 mV",
                             "      10 mV"};
    const std::vector<std::pair<const char*, QStringList>> lists{
        {"ComboBox1",
         {"automatická", "   100 msec", "    50 msec", "    20 msec", "    10 msec", "      5 msec",
          "      2 msec", "      1 msec", " generátoru"}},
        {"ComboBox2", ranges},
        {"ComboBox9", ranges},
        {"ComboBox4", {"automaticky", "od kanálu L", "od kanálu R"}},
        {"ComboBox7",
         {" 0 až 1 V", " 0 až 500 mV", " 0 až 200 mV", " 0 až 100 mV", " 0 až 50 mV", " 0 až 20 mV",
          " 0 až 10 mV ", "  vypnuto"}},
        {"ComboBox8", {"20 Hz až 100 Hz", "100 Hz až 1 kHz", "1 kHz až 20 kHz", "10 Hz až 20 kHz"}},
    };
    for (const auto& [name, items] : lists)
        EXPECT_EQ(itemsOf(w.find<QComboBox>(name)), items) << name;
}

TEST(StartUp, CaptionAndMenuBar) {
    WindowOnSimCard w;
    EXPECT_EQ(w.form->windowTitle(),
              QStringLiteral("osciloskop JEN PRO MĚŘENÍ NA DIGITÁLNÍCH OBVODECH !!! SbLive! "
                             "Value,vstup LINE IN (s předdřadnými odpory 2 x M1}"));

    const QMenuBar* bar = w.form->menuBar();
    EXPECT_EQ(bar->objectName(), QStringLiteral("MainMenu1"));
    QStringList captions;
    for (const QAction* entry : bar->actions()) captions << entry->text();
    EXPECT_EQ(captions,
              (QStringList{"   spouštění", "test", "     volba zobrazení", "mazání", "proud IL",
                           "volba rozsahu", " frekvence", "napětí UR", "volba rozsahu",
                           " frekvence", " časová &osa", "mixážní pult"}));
    for (const QAction* entry : bar->actions())
        EXPECT_EQ(entry->isEnabled(), entry->text() != QStringLiteral("test")) << entry->text();

    const QMenu* display = w.form->findChild<QMenu*>(QStringLiteral("volbazobrazen1"));
    ASSERT_NE(display, nullptr);
    ASSERT_EQ(display->actions().size(), 2);
    EXPECT_EQ(display->actions()[0]->text(), QStringLiteral("do sebe"));
    EXPECT_TRUE(display->actions()[0]->isEnabled());
    EXPECT_EQ(display->actions()[1]->text(), QStringLiteral("nad sebou"));
    EXPECT_FALSE(display->actions()[1]->isEnabled());

    // Every entry fits on the bar: none is pushed into an overflow button.
    for (const QAction* entry : bar->actions())
        EXPECT_LE(bar->actionGeometry(const_cast<QAction*>(entry)).right(), bar->width())
            << entry->text();
}

TEST(StartUp, AFailingStepShowsItsMessageSkipsTheRestAndLeavesTheWindowWithoutMeasuring) {
    WindowOnSimCard w(nullptr, app::IdleDriving::EventLoop);
    const instrument::Instrument& s = w.form->instrument();
    // The user picks a narrow amplitude range and a fixed time base, then closes the window, which
    // stops measuring.
    auto* amplitudeRange = w.find<QComboBox>("ComboBox7");
    auto* timeBase = w.find<QComboBox>("ComboBox1");
    window_test::choose(amplitudeRange, 3);  // 0..3280
    window_test::choose(timeBase, 2);
    ASSERT_EQ(s.AutoTimeBase, 0);
    w.form->close();
    ASSERT_FALSE(w.form->idleHandlerInstalled());

    // A frequency bar whose range ends below FormCreate's start minimum of 100: raising the
    // minimum fails in step 15, as a scroll bar refuses an inverted range.
    auto* frequency = w.find<window::ScrollBar>("ScrollBar5");
    frequency->setMin(10);
    frequency->setMax(50);
    QString shown;
    QTimer::singleShot(0, w.form.get(), [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    w.form->FormCreate();
    w.form->showWindow();

    EXPECT_EQ(w.form->startupError(), QStringLiteral("Scrollbar property out of range"));
    EXPECT_EQ(shown, w.form->startupError());
    EXPECT_TRUE(w.form->isVisible());
    // Steps 1 to 14 ran (step 10 sets the automatic time base); 15 on did not.
    EXPECT_EQ(s.AutoTimeBase, 1);
    EXPECT_EQ(frequency->maximum(), 50);
    EXPECT_EQ(amplitudeRange->currentIndex(), 3);
    EXPECT_EQ(w.find<window::ScrollBar>("ScrollBar4")->maximum(), 3280);
    EXPECT_EQ(timeBase->currentIndex(), 2);
    // No idle handler: the event loop makes no pass.
    EXPECT_FALSE(w.form->idleHandlerInstalled());
    const uint64_t passes = w.form->idlePasses();
    window_test::handlePendingEvents();
    EXPECT_EQ(w.form->idlePasses(), passes);
}

TEST(Optimum, EnterBringsBackTheStartUpGeometry) {
    WindowOnSimCard w;
    w.passes(2);
    ASSERT_EQ(w.form->instrument().SampleCount, 22050);
    w.form->move(50, 60);
    w.form->resize(640, 400);
    ASSERT_TRUE(window_test::waitUntil([&] { return w.form->screen().clientWidth() == 640; }));

    // Enter in a read-only edit box reaches the window, which clicks its default button.
    QTest::keyClick(w.find<QLineEdit>("Edit4"), Qt::Key_Return);
    ASSERT_TRUE(window_test::waitUntil([&] { return w.form->screen().clientWidth() == 800; }));

    EXPECT_EQ(w.form->pos(), QPoint(0, 0));
    EXPECT_EQ(w.form->width(), 800);
    EXPECT_EQ(w.form->centralWidget()->height(), 526);
    for (const char* upper : {"Edit18", "Edit2"}) EXPECT_EQ(w.find<QLineEdit>(upper)->y(), 37);
    for (const char* lower : {"Edit19", "Edit5"}) EXPECT_EQ(w.find<QLineEdit>(lower)->y(), 475);
    EXPECT_EQ(w.form->instrument().SampleCount, 22100);
    w.passes(2);
    EXPECT_EQ(w.form->instrument().SampleCount, 22050) << "the next buffer sets its own count";
}

// The start-up question's buttons, made as QMessageBox::question makes them in main.cpp.
TEST(StartUp, QtsOwnButtonsAreCzechForACzechLocaleAndEnglishForC) {
    const auto yesAndNo = [] {
        const QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
        return box.button(QMessageBox::Yes)->text() + '/' + box.button(QMessageBox::No)->text();
    };
    EXPECT_EQ(app::installQtTranslations(*qApp, QLocale::c()), nullptr);
    EXPECT_EQ(yesAndNo(), QStringLiteral("&Yes/&No"));
    const std::unique_ptr<QTranslator> czech(app::installQtTranslations(*qApp, QLocale("cs_CZ")));
    ASSERT_NE(czech, nullptr) << "no qtbase_cs.qm: is qt6-translations-l10n installed?";
    EXPECT_EQ(yesAndNo(), QStringLiteral("&Ano/&Ne"));
}

TEST(Resize, ClientAreaFollowsAndIsCleared) {
    WindowOnSimCard w;
    w.passes(3);  // draws graticule and traces
    ASSERT_NE(w.form->screen().image().pixel(400, 263), qRgb(0, 0, 0));

    w.form->resize(900, w.form->height() + 60);
    ASSERT_TRUE(window_test::waitUntil([&] { return w.form->screen().clientWidth() == 900; }));
    EXPECT_EQ(w.form->screen().clientHeight(), 586);
    const QImage& image = w.form->screen().image();
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            ASSERT_EQ(image.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
}

}  // namespace
