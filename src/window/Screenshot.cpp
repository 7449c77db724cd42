#include "window/Screenshot.h"

#include <QPixmap>
#include <QWidget>

namespace window {

QImage grabWindow(QWidget& window) {
    // Rendered at one image pixel per window pixel, whatever the screen's scale.
    QImage image(window.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    window.render(&image);
    return image;
}

bool saveScreenshot(QWidget& window, const QString& path, QString& error) {
    const QImage image = grabWindow(window);
    if (!image.save(path, "PNG")) {
        error = QStringLiteral("cannot write the screenshot %1").arg(path);
        return false;
    }
    return true;
}

}  // namespace window
