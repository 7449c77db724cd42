#include "app/SaveCapture.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "instrument/Instrument.h"
#include "window/Screenshot.h"

namespace app {

namespace {

constexpr int kWavChannels = 2;
constexpr int kWavFormat = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
// "name.png", then "name-2.png" up to this suffix; beyond it the folder is taken as full.
constexpr int kLastSuffix = 999;

QString systemReason(int error) {
    return QString::fromStdString(std::system_category().message(error));
}

// An open file descriptor, closed when it goes unless closed before to see the outcome.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now; the errno of a failed close (data that did not reach the disk), else 0.
    int close() {
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_ = -1;
};

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// A file made for this save alone: it did not exist before, so nothing is overwritten.
struct NewFile {
    Descriptor fd;
    QString path;
    QString error;
};

NewFile createNewFile(const QString& folder, const QDateTime& when, const QString& extension) {
    QDir().mkpath(folder);  // when it cannot be made, creating the file says why
    const QString stem = timedFileName(when, extension).chopped(extension.size() + 1);
    const QDir dir(folder);
    for (int suffix = 1; suffix <= kLastSuffix; ++suffix) {
        const QString name = suffix == 1
                                 ? QStringLiteral("%1.%2").arg(stem, extension)
                                 : QStringLiteral("%1-%2.%3").arg(stem).arg(suffix).arg(extension);
        const QString path = dir.absoluteFilePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return {Descriptor(fd), path, {}};
        if (errno != EEXIST) return {{}, path, systemReason(errno)};
    }
    return {{}, dir.absolutePath(), systemReason(EEXIST)};
}

// Finishes a save: a failed one leaves no partial file behind.
Saved finish(NewFile& file, QString error) {
    const int closeError = file.fd.close();
    if (error.isEmpty() && closeError != 0) error = systemReason(closeError);
    if (!error.isEmpty()) QFile::remove(file.path);
    return {file.path, error};
}

}  // namespace

QString standardFolder(QStandardPaths::StandardLocation location) {
    const QString folder = QStandardPaths::writableLocation(location);
    if (!folder.isEmpty() && QDir().mkpath(folder)) return folder;
    return QDir::currentPath();
}

QString timedFileName(const QDateTime& when, const QString& extension) {
    return QStringLiteral("soundscope-%1.%2")
        .arg(when.toString(QStringLiteral("yyyy-MM-dd-HHmmss")), extension);
}

Saved savePicture(const QImage& image, const QString& folder, const QDateTime& when) {
    NewFile file = createNewFile(folder, when, QStringLiteral("png"));
    if (!file.fd) return {file.path, file.error};
    QFile out;
    if (!out.open(file.fd.get(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return finish(file, out.errorString());
    return finish(file, window::writeImage(image, out, "PNG"));
}

Saved saveCapture(std::span<const int32_t> interleaved, const QString& folder,
                  const QDateTime& when) {
    NewFile file = createNewFile(folder, when, QStringLiteral("wav"));
    if (!file.fd) return {file.path, file.error};

    SF_INFO info{};
    info.samplerate = instrument::kCaptureFrameRate;
    info.channels = kWavChannels;
    info.format = kWavFormat;
    SndfilePtr wav(sf_open_fd(file.fd.get(), SFM_WRITE, &info, SF_FALSE));
    if (!wav) return finish(file, QString::fromUtf8(sf_strerror(nullptr)));

    const size_t frames = (interleaved.size() + 1) / kWavChannels;
    std::vector<short> values(frames * kWavChannels, 0);
    std::transform(interleaved.begin(), interleaved.end(), values.begin(), [](int32_t v) {
        return static_cast<short>(std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min(),
                                                      std::numeric_limits<int16_t>::max()));
    });
    QString error;
    if (sf_writef_short(wav.get(), values.data(), static_cast<sf_count_t>(frames)) !=
        static_cast<sf_count_t>(frames))
        error = QString::fromUtf8(sf_strerror(wav.get()));
    // Closing writes the header's final lengths.
    if (const int closed = sf_close(wav.release()); error.isEmpty() && closed != 0)
        error = QString::fromUtf8(sf_error_number(closed));
    return finish(file, error);
}

}  // namespace app
