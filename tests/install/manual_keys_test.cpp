// The manual page's KEYS section (data/soundscope.h2m) against the keys the real window has: its
// shortcuts, its menu actions' shortcuts, and Enter for its default button. A key added to the
// window without a line in the manual, or a line left for a key that is gone, fails here.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QStringList>
#include <set>
#include <string>

#include "support/WindowFixture.h"

namespace {

using KeySet = std::set<std::string>;

std::string portable(const QKeySequence& keys) {
    return keys.toString(QKeySequence::PortableText).toStdString();
}

// The keys named in `[KEYS]` of a help2man include file: each ".B KEY" line up to the next
// section.
KeySet documentedKeys(const QString& includeText) {
    KeySet keys;
    bool inKeys = false;
    for (const QString& line : includeText.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            inKeys = line.trimmed() == QLatin1String("[KEYS]");
        else if (inKeys && line.startsWith(QLatin1String(".B ")))
            keys.insert(line.mid(3).trimmed().toStdString());
    }
    return keys;
}

KeySet windowKeys(const QWidget& window) {
    KeySet keys;
    for (const QShortcut* shortcut : window.findChildren<QShortcut*>())
        if (shortcut->isEnabled() && !shortcut->key().isEmpty())
            keys.insert(portable(shortcut->key()));
    for (const QAction* action : window.findChildren<QAction*>())
        for (const QKeySequence& key : action->shortcuts()) keys.insert(portable(key));
    for (const QPushButton* button : window.findChildren<QPushButton*>())
        if (button->isDefault()) keys.insert("Enter");
    return keys;
}

std::string joined(const KeySet& keys) {
    std::string text;
    for (const std::string& key : keys) text += (text.empty() ? "" : ", ") + key;
    return text;
}

TEST(ManualKeys, ParsesOnlyTheKeysSection) {
    const KeySet keys = documentedKeys(
        QStringLiteral("comment\n.B NotAKey\n[NAME]\n.B name\n[KEYS]\n.TP\n.B F2\ntext\n.B Ctrl+S\n"
                       "[FILES]\n.B file"));
    EXPECT_EQ(keys, (KeySet{"F2", "Ctrl+S"}));
}

TEST(ManualKeys, NameEveryKeyOfTheWindowAndNoOther) {
    QFile include(QStringLiteral(SOUNDSCOPE_MANUAL_INCLUDE));
    ASSERT_TRUE(include.open(QIODevice::ReadOnly)) << SOUNDSCOPE_MANUAL_INCLUDE;
    const KeySet documented = documentedKeys(QString::fromUtf8(include.readAll()));

    window_test::WindowOnSimCard w;
    const KeySet window = windowKeys(*w.form);
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(documented, window) << "documented in " << SOUNDSCOPE_MANUAL_INCLUDE << ": "
                                  << joined(documented)
                                  << "\nthe window's keys: " << joined(window);
}

}  // namespace
