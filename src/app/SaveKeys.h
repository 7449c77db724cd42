// Two keys of the window keep what the screen shows, in periodic and single-shot mode alike, with
// no entry in the menu bar: Ctrl+S saves the window's picture (PNG, to the user's pictures), and
// Ctrl+Shift+S the capture the traces were drawn from (WAV, to the user's music). Where a file
// went, or why it could not be written, shows in a notice over the screen that fades by itself and
// in a line on stdout (stderr for a failure); the instrument runs on either way.
#pragma once

#include <QObject>
#include <QString>

class QShortcut;
class QWidget;

namespace instrument {
class Instrument;
}

namespace window {
class Notice;
struct Design;
}  // namespace window

namespace app {

class SaveKeys final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SaveKeys)

  public:
    // Puts the keys and the notice on `window` (which owns this) and names the keys in the
    // screen's hint.
    SaveKeys(QWidget& window, const window::Design& d, const instrument::Instrument& instrument);

    // The key handlers.
    void savePicture();
    void saveCapture();

    // Every file into `folder` (made when missing) instead of the user's pictures and music;
    // empty: back to those.
    void setFolder(const QString& folder) { folder_ = folder; }

  private:
    QString folderFor(bool picture) const;
    void tell(const QString& done, const QString& path, const QString& error);

    QWidget& window_;
    const instrument::Instrument& instrument_;
    window::Notice* notice_ = nullptr;
    QString folder_;
};

}  // namespace app
