// A picture of a whole window as the user sees it, controls and screen alike, saved as PNG.
#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace window {

// The window's contents (without the window manager's frame), at its size in pixels.
QImage grabWindow(QWidget& window);

// Writes grabWindow(window) to `path` as PNG. On failure returns false and sets `error` to a text
// naming the file.
bool saveScreenshot(QWidget& window, const QString& path, QString& error);

}  // namespace window
