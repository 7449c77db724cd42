// Qt's own texts in the user's language: the buttons of the start-up question about the simulated
// card, made as main.cpp makes it (QMessageBox::question: a question box with Yes and No).
#include "app/Translations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <memory>

namespace {

// The button texts of the question, without their mnemonic marks.
std::pair<QString, QString> yesNoTexts() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("soundscope"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    const auto text = [&](QMessageBox::StandardButton which) {
        return box.button(which)->text().remove(QLatin1Char('&'));
    };
    return {text(QMessageBox::Yes), text(QMessageBox::No)};
}

TEST(QtTranslations, CzechLocaleGivesTheQuestionCzechButtons) {
    const std::unique_ptr<QTranslator> czech(
        app::installQtTranslations(*qApp, QLocale(QStringLiteral("cs_CZ"))));
    ASSERT_NE(czech, nullptr) << "no qtbase_cs.qm (package qt6-translations-l10n)";
    EXPECT_EQ(czech->parent(), qApp);
    EXPECT_EQ(yesNoTexts(), std::make_pair(QStringLiteral("Ano"), QStringLiteral("Ne")));
}

TEST(QtTranslations, CLocaleInstallsNothingAndTheButtonsStayEnglish) {
    EXPECT_EQ(app::installQtTranslations(*qApp, QLocale::c()), nullptr);
    EXPECT_EQ(yesNoTexts(), std::make_pair(QStringLiteral("Yes"), QStringLiteral("No")));
}

}  // namespace
