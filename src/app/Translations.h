// Qt's own texts (the buttons of its message boxes and dialogs) in the user's language.
#pragma once

class QApplication;
class QLocale;
class QTranslator;

namespace app {

// Loads Qt's catalogue for `locale` (qtbase_<language>.qm in Qt's translations folder) and installs
// it on `application`, which owns it; call it before any window or box is made. Returns the
// installed translator, or null when Qt has no catalogue for the locale (English, C): Qt's own
// texts then stay as they are.
QTranslator* installQtTranslations(QApplication& application, const QLocale& locale);

}  // namespace app
