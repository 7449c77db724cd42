// The front panel over the window's widgets, in the real window on the simulated card.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QLabel>
#include <QTemporaryFile>
#include <cstdio>

#include "WindowFixture.h"
#include "window/WindowDesign.h"

namespace {

using platform::Direction;
using window_test::WindowOnSimCard;

// What the program writes to stderr while it lives.
class StderrCapture {
  public:
    StderrCapture() {
        file_.open();
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    ~StderrCapture() { restore(); }

    // Ends the capture; what was written, line by line.
    QList<QByteArray> lines() {
        restore();
        QFile written(file_.fileName());
        written.open(QIODevice::ReadOnly);
        return written.readAll().split('\n');
    }

  private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        saved_ = -1;
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

int countContaining(const QList<QByteArray>& lines, const QByteArray& text) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const QByteArray& l) { return l.contains(text); }));
}

// A failing device is named on stderr as over the screen, once for each time it starts failing:
// not at every retry, not when the reason changes meanwhile (the run's end, then the refused
// opens), and not again for a device already named when another one fails too.
TEST(DeviceNotice, EachFailureIsOneLineOnStderr) {
    WindowOnSimCard w;
    const QLabel& notice = *w.form->design().DeviceNotice;
    StderrCapture stderrText;
    w.passes(2);
    w.card.failDevice(Direction::Capture);
    w.card.setBusy(Direction::Capture, true);
    w.passes(12);  // six retries
    ASSERT_TRUE(notice.isVisible());
    w.card.failDevice(Direction::Playback);
    w.card.setBusy(Direction::Playback, true);
    w.passes(12);
    for (Direction direction : {Direction::Capture, Direction::Playback})
        w.card.setBusy(direction, false);
    w.passes(4);
    ASSERT_FALSE(notice.isVisible()) << notice.text().toStdString();
    w.card.failDevice(Direction::Capture);
    w.card.setBusy(Direction::Capture, true);
    w.passes(8);

    const QList<QByteArray> lines = stderrText.lines();
    const QByteArray capture = "soundscope: Zařízení pro záznam „simulated card“ není dostupné: ";
    const QByteArray playback =
        "soundscope: Zařízení pro přehrávání „simulated card“ není dostupné: ";
    EXPECT_EQ(countContaining(lines, capture), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(countContaining(lines, playback), 1) << lines.join('\n').toStdString();
    EXPECT_EQ(countContaining(lines, "soundscope: "), 3) << lines.join('\n').toStdString();
}

}  // namespace
