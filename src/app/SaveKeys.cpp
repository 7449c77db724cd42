#include "app/SaveKeys.h"

#include <QDateTime>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>
#include <cstdio>

#include "app/SaveCapture.h"
#include "instrument/Instrument.h"
#include "window/Controls.h"
#include "window/Notice.h"
#include "window/Screenshot.h"
#include "window/WindowDesign.h"

namespace app {

namespace {

// "Save" is what a user tries first for keeping something, and Shift makes it the other kind of
// file; neither is a key of the edit fields or the lists, nor F2's, so both work whichever control
// has the focus.
const QKeySequence kPictureKey(Qt::CTRL | Qt::Key_S);
const QKeySequence kCaptureKey(Qt::CTRL | Qt::SHIFT | Qt::Key_S);

void printLine(FILE* stream, const QString& text) {
    std::fprintf(stream, "soundscope: %s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

}  // namespace

SaveKeys::SaveKeys(QWidget& window, const window::Design& d,
                   const instrument::Instrument& instrument)
    : QObject(&window), window_(window), instrument_(instrument) {
    setObjectName(QStringLiteral("SaveKeys"));
    notice_ = new window::Notice(*d.client, *d.Panel13);

    auto addKey = [this, &window](const QKeySequence& keys, const char* name,
                                  void (SaveKeys::*save)()) {
        auto* key = new QShortcut(keys, &window);
        key->setObjectName(QString::fromLatin1(name));
        connect(key, &QShortcut::activated, this, save);
    };
    addKey(kPictureKey, "PictureKey", &SaveKeys::savePicture);
    addKey(kCaptureKey, "CaptureKey", &SaveKeys::saveCapture);

    const auto text = [](const QKeySequence& keys) {
        return keys.toString(QKeySequence::NativeText);
    };
    d.client->setToolTip(
        QStringLiteral("%1 uloží obrázek okna (PNG) do složky s obrázky,\n"
                       "%2 uloží zobrazený záznam obou kanálů (WAV) do složky s hudbou")
            .arg(text(kPictureKey), text(kCaptureKey)));
}

QString SaveKeys::folderFor(bool picture) const {
    if (!folder_.isEmpty()) return folder_;
    return standardFolder(picture ? QStandardPaths::PicturesLocation
                                  : QStandardPaths::MusicLocation);
}

void SaveKeys::savePicture() {
    // The picture shows the window as the instrument left it, without an earlier notice.
    notice_->dismiss();
    const Saved saved = app::savePicture(window::grabWindow(window_), folderFor(true),
                                         QDateTime::currentDateTime());
    tell(QStringLiteral("Obrázek okna"), saved.path, saved.error);
}

void SaveKeys::saveCapture() {
    const auto values = instrument_.screenCapture.values();
    if (values.empty()) {
        notice_->showText(QStringLiteral("Na obrazovce zatím není žádný záznam."),
                          window::Notice::Kind::Failed);
        printLine(stderr, QStringLiteral("no capture has been drawn yet; nothing saved"));
        return;
    }
    const Saved saved = app::saveCapture(values, folderFor(false), QDateTime::currentDateTime());
    tell(QStringLiteral("Záznam obou kanálů"), saved.path, saved.error);
}

void SaveKeys::tell(const QString& what, const QString& path, const QString& error) {
    if (error.isEmpty()) {
        notice_->showText(QStringLiteral("%1 uložen: %2").arg(what, path),
                          window::Notice::Kind::Done);
        printLine(stdout, QStringLiteral("saved %1").arg(path));
    } else {
        notice_->showText(
            QStringLiteral("%1 se nepodařilo uložit jako %2: %3").arg(what, path, error),
            window::Notice::Kind::Failed);
        printLine(stderr, QStringLiteral("cannot save %1: %2").arg(path, error));
    }
}

}  // namespace app
