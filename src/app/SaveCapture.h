// Keeping what the screen shows: a picture of the window as PNG and the capture the traces were
// drawn from as WAV (both channels, 44100 frames/s, 16 bits), each in a new file whose name
// carries the date and time. A file that exists is never overwritten; the name gets a suffix.
#pragma once

#include <QDateTime>
#include <QImage>
#include <QStandardPaths>
#include <QString>
#include <cstdint>
#include <span>

namespace app {

// Where a kind of file goes: the user's folder of that kind (made when missing); the current folder
// when there is none or it cannot be made.
QString standardFolder(QStandardPaths::StandardLocation location);

// "soundscope-2026-12-09-013512.png" for `when` and "png".
QString timedFileName(const QDateTime& when, const QString& extension);

// The outcome of one save: the file written, or why nothing was (the partial file is removed).
struct Saved {
    QString path;
    QString error;  // empty when the file was written
    bool ok() const { return error.isEmpty(); }
};

// `image` as PNG into `folder` (made when missing), named after `when`.
Saved savePicture(const QImage& image, const QString& folder, const QDateTime& when);

// The interleaved values of a capture (the card's first input, then its second, as RawSamples
// holds them) as a stereo 16-bit WAV at 44100 frames/s into `folder`, named after `when`. An odd
// last value is completed to a frame with 0.
Saved saveCapture(std::span<const int32_t> interleaved, const QString& folder,
                  const QDateTime& when);

}  // namespace app
