// Keeping what the screen shows through the real window: Ctrl+S saves its picture, Ctrl+Shift+S
// the capture its traces were drawn from, each told in a notice that fades by itself.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cerrno>
#include <system_error>
#include <vector>

#include "support/WindowFixture.h"
#include "app/SaveCapture.h"
#include "app/SaveKeys.h"

namespace {

using platform::sim::makeSine;
using platform::sim::makeSquare;
using platform::sim::makeStereo;
using window_test::WindowOnSimCard;

constexpr int kAmplitude = 8000;

std::unique_ptr<platform::sim::StereoSource> signal(double hz) {
    return makeStereo(makeSquare(hz, kAmplitude), makeSine(hz / 2, kAmplitude));
}

// The window active and a text field focused, so the keys reach it as the user's would.
void pressFromAnEditField(WindowOnSimCard& w, QKeyCombination keys) {
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    w.form->design().Edit14->setFocus();
    QTest::keyClick(QApplication::focusWidget(), keys.key(), keys.keyboardModifiers());
}

QStringList savedFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("soundscope-*")}, QDir::Files, QDir::Name);
}

std::vector<int32_t> rawSamples(const app::TForm1& form) {
    const auto& s = form.instrument();
    return {s.RawSamples.data(), s.RawSamples.data() + s.SampleCount};
}

// The WAV's format and every sample against the interleaved capture.
void expectWavHolds(const QString& path, const std::vector<int32_t>& capture) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    ASSERT_EQ(info.frames, static_cast<sf_count_t>(capture.size() / 2));
    std::vector<short> values(capture.size());
    EXPECT_EQ(sf_readf_short(file, values.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_TRUE(std::equal(values.begin(), values.end(), capture.begin()));
    std::string error;  // what --sim=FILE.wav plays
    EXPECT_NE(platform::sim::openSoundFile(path.toStdString(), error), nullptr) << error;
}

const QLabel* notice(const WindowOnSimCard& w) {
    return w.find<QLabel>("Notice");
}

TEST(SaveKeys, PictureIsTheWindowAsShownEachInANewFileAndTheNoticeFades) {
    QTemporaryDir dir;
    WindowOnSimCard w(signal(500.0));
    w.form->saveKeys().setFolder(dir.path());
    w.passes(20);
    pressFromAnEditField(w, Qt::CTRL | Qt::Key_S);

    const QStringList files = savedFiles(dir.path());
    ASSERT_EQ(files.size(), 1);
    const QImage shot(dir.filePath(files[0]));
    EXPECT_EQ(shot.size(), w.form->size());
    // Where no control lies over it, the screen in the picture is the screen drawn, traces and all.
    const QImage& screen = w.form->screen().image();
    const QPoint client = w.form->centralWidget()->mapTo(w.form.get(), QPoint(0, 0));
    int differing = 0, aqua = 0, yellow = 0;
    for (int y = 60; y < 470; ++y)
        for (int x = 60; x < 790; ++x) {
            const QRgb pixel = shot.pixel(client + QPoint(x, y));
            differing += pixel != screen.pixel(x, y);
            aqua += pixel == qRgb(0, 255, 255);
            yellow += pixel == qRgb(255, 255, 0);
        }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(aqua, 500);
    EXPECT_GT(yellow, 500);
    EXPECT_TRUE(notice(w)->isVisible());
    EXPECT_TRUE(notice(w)->text().contains(dir.filePath(files[0])));
    EXPECT_LT(notice(w)->geometry().bottom(), w.form->design().Panel13->y()) << "above the strip";

    // Once more in the same second: a second file, the first kept, and no notice in the picture.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    const QStringList both = savedFiles(dir.path());
    ASSERT_EQ(both.size(), 2);
    EXPECT_EQ(QImage(dir.filePath(both[0])), shot);
    EXPECT_EQ(QImage(dir.filePath(both[1])), shot);

    QTRY_VERIFY_WITH_TIMEOUT(!notice(w)->isVisible(), 6000);
}

TEST(SaveKeys, CaptureIsTheSamplesTheScreenWasDrawnFromInEitherMode) {
    for (const bool singleShot : {false, true}) {
        SCOPED_TRACE(singleShot ? "single shot" : "periodic");
        QTemporaryDir dir;
        WindowOnSimCard w(signal(441.0));
        w.form->saveKeys().setFolder(dir.path());
        w.passes(6);
        std::vector<int32_t> drawn;
        if (singleShot) {
            window_test::click(w.find<QRadioButton>("RadioButton2"));
            drawn = rawSamples(*w.form);
            w.card.setSource(signal(882.0));
            w.passes(6);  // new captures, read out but not drawn
        } else {
            w.form->idlePass();
            drawn = rawSamples(*w.form);
            w.card.advance(window_test::kBufferFrames);
            window_test::handlePendingEvents();  // a new capture arrives before the next drawing
        }
        ASSERT_EQ(drawn.size(), 22050u);
        ASSERT_NE(rawSamples(*w.form), drawn) << "the latest capture is not the one drawn";

        pressFromAnEditField(w, Qt::CTRL | Qt::SHIFT | Qt::Key_S);
        const QStringList files = savedFiles(dir.path());
        ASSERT_EQ(files.size(), 1);
        expectWavHolds(dir.filePath(files[0]), drawn);
        EXPECT_TRUE(notice(w)->isVisible() && notice(w)->text().contains(files[0]));
    }
}

TEST(SaveKeys, FolderThatCannotBeMadeIsToldWithItsReasonAndChangesNothing) {
    QTemporaryFile regular;
    ASSERT_TRUE(regular.open());
    const QString folder = regular.fileName() + QStringLiteral("/sub");
    const QStringList inCurrentFolder = savedFiles(QDir::currentPath());
    WindowOnSimCard w(signal(500.0));
    w.form->saveKeys().setFolder(folder);
    w.passes(6);
    const QImage screen = w.form->screen().image().copy();
    const QString reason = QString::fromStdString(std::system_category().message(ENOTDIR));

    for (const QKeyCombination keys : {Qt::CTRL | Qt::Key_S, Qt::CTRL | Qt::SHIFT | Qt::Key_S}) {
        pressFromAnEditField(w, keys);
        EXPECT_TRUE(notice(w)->isVisible());
        EXPECT_TRUE(notice(w)->text().contains(folder) && notice(w)->text().endsWith(reason))
            << notice(w)->text();
    }
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(savedFiles(QDir::currentPath()), inCurrentFolder) << "no file went elsewhere";
    EXPECT_EQ(w.form->screen().image(), screen);
    EXPECT_TRUE(w.form->startupError().isEmpty());
    EXPECT_TRUE(w.form->idlePass()) << "the instrument runs on";
}

TEST(SaveFolder, UsersFolderOrTheCurrentOneWhenItCannotBeMade) {
    QTemporaryDir home;
    QTemporaryFile regular;
    ASSERT_TRUE(regular.open());
    const QByteArray savedHome = qgetenv("HOME"), savedConfig = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_HOME");  // no user-dirs.dirs: the folders lie in HOME
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString music = app::standardFolder(QStandardPaths::MusicLocation);
    qputenv("HOME", QFile::encodeName(regular.fileName()));
    const QString fallback = app::standardFolder(QStandardPaths::PicturesLocation);
    qputenv("HOME", savedHome);
    if (!savedConfig.isEmpty()) qputenv("XDG_CONFIG_HOME", savedConfig);

    EXPECT_EQ(music, home.filePath(QStringLiteral("Music")));
    EXPECT_TRUE(QFileInfo(music).isDir());
    EXPECT_EQ(fallback, QDir::currentPath());
}

}  // namespace
