// Qt's own texts in the user's language: the start-up question's buttons, made as
// QMessageBox::question makes them in main.cpp.
#include "app/Translations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <memory>

namespace {

QString yesAndNo() {
    const QMessageBox box(QMessageBox::Question, QStringLiteral("soundscope"), QStringLiteral("?"),
                          QMessageBox::Yes | QMessageBox::No);
    QString texts =
        box.button(QMessageBox::Yes)->text() + '/' + box.button(QMessageBox::No)->text();
    return texts.remove('&');
}

TEST(QtTranslations, CzechButtonsForACzechLocaleEnglishForC) {
    EXPECT_EQ(app::installQtTranslations(*qApp, QLocale::c()), nullptr);
    EXPECT_EQ(yesAndNo(), QStringLiteral("Yes/No"));
    const std::unique_ptr<QTranslator> czech(
        app::installQtTranslations(*qApp, QLocale(QStringLiteral("cs_CZ"))));
    ASSERT_NE(czech, nullptr) << "no qtbase_cs.qm: is qt6-translations-l10n installed?";
    EXPECT_EQ(yesAndNo(), QStringLiteral("Ano/Ne"));
}

}  // namespace
