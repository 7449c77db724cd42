// A picture of a whole window as the user sees it, controls and screen alike, saved in the
// picture format its file name asks for.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QFile;
class QWidget;

namespace window {

// The window's contents (without the window manager's frame), at its size in pixels.
QImage grabWindow(QWidget& window);

// The picture format a file name asks for by its extension (any that Qt's image writers can
// write: "png", "jpg", "bmp", ...), "png" for a name without one; empty when Qt cannot write it.
QByteArray pictureFormat(const QString& path);
// The extensions pictureFormat accepts, for a message: ".bmp, .jpg, …, .png".
QString pictureExtensions();

// Writes `image` in `format` to `file`, which is open for writing, and closes it. Empty when it
// was written, else the reason (the system's, such as "No space left on device").
QString writeImage(const QImage& image, QFile& file, const char* format);

// Writes grabWindow(window) to `path` in the format its name asks for. On failure returns false
// and sets `error` to a text naming the file and why it could not be written (a missing folder,
// no permission, a full disk, ...); a partial file is removed.
bool saveScreenshot(QWidget& window, const QString& path, QString& error);

}  // namespace window
