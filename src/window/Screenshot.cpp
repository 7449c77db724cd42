#include "window/Screenshot.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QWidget>

namespace window {

namespace {

const QByteArray kDefaultFormat = QByteArrayLiteral("png");

// Why `file` could not be opened for writing: a folder that is not there is named as such (the
// system would only say "No such file or directory").
QString openFailure(const QFile& file) {
    const QFileInfo info(file.fileName());
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder))
        return QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder));
    return file.errorString();
}

}  // namespace

QImage grabWindow(QWidget& window) {
    // Rendered at one image pixel per window pixel, whatever the screen's scale.
    QImage image(window.size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    window.render(&image);
    return image;
}

QByteArray pictureFormat(const QString& path) {
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix.isEmpty()) return kDefaultFormat;
    return QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray();
}

QString pictureExtensions() {
    QStringList extensions;
    for (const QByteArray& format : QImageWriter::supportedImageFormats())
        extensions << QLatin1Char('.') + QString::fromLatin1(format);
    return extensions.join(QStringLiteral(", "));
}

QString writeImage(const QImage& image, QFile& file, const char* format) {
    // Encoded in memory first, so that the encoder never meets a failing write (libpng would
    // print its own line about it) and the file's own error is the reason.
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    QString error;
    if (!writer.write(image))
        error = writer.errorString();
    else if (file.write(encoded) != encoded.size() || !file.flush())  // a full disk shows here
        error = file.errorString();
    file.close();
    return error;
}

bool saveScreenshot(QWidget& window, const QString& path, QString& error) {
    const QByteArray format = pictureFormat(path);
    QString why;
    if (format.isEmpty()) {
        why = QStringLiteral("cannot write pictures as .%1").arg(QFileInfo(path).suffix());
    } else {
        const QImage image = grabWindow(window);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            why = openFailure(file);
        } else {
            why = writeImage(image, file, format.constData());
            // A partial picture is no picture; a device such as /dev/stdout stays.
            if (!why.isEmpty() && QFileInfo(path).isFile()) QFile::remove(path);
        }
    }
    if (why.isEmpty()) return true;
    error = QStringLiteral("cannot write the screenshot %1: %2").arg(path, why);
    return false;
}

}  // namespace window
