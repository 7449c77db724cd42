// What the program keeps between runs: written and read back exactly, per device and channel; a
// damaged, foreign or partly nonsensical file ignored with a note and kept aside, never lost and
// never a crash.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/CalibrationStore.h"

namespace {

using app::CalibrationStore;
using app::Channel;
using measurement::Calibration;

QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath(QStringLiteral("soundscope/soundscope.ini"));
    QDir().mkpath(dir.filePath(QStringLiteral("soundscope")));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

TEST(CalibrationStore, AnEmptyFileIsNothingKeptYet) {
    QTemporaryDir dir;
    CalibrationStore store(writeFile(dir, QByteArray()));
    store.load();
    EXPECT_TRUE(store.note().isEmpty()) << store.note().toStdString();
}

TEST(CalibrationStore, WhatIsWrittenIsReadBackPerDeviceAndChannel) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/folder/soundscope.ini"));
    // ALSA names with the characters an INI file treats specially.
    const QString usb = QStringLiteral("hw:CARD=Device,DEV=0");
    const QString plug = QStringLiteral("plug:\"file:/tmp/a b.raw\"; [x]");
    {
        CalibrationStore store(path);
        store.load();
        EXPECT_TRUE(store.note().isEmpty()) << "no file yet is nothing to note";
        store.setCalibration(usb, Channel::R, Calibration{1.234567890123e-4, 49152, 9.87});
        store.setCalibration(usb, Channel::L, Calibration{2.5e-5, std::nullopt, 0});
        store.setCalibration(plug, Channel::L, Calibration{7e-3, 0, 0});
        // A loopback's corner before any calibration: kept on its own.
        store.setCalibration(plug, Channel::R, Calibration{0, std::nullopt, 12.5});
        store.setChannel(Channel::R, {10.0, true});
        store.setChannel(Channel::L, {2.5, false});
        QString error;
        ASSERT_TRUE(store.save(error)) << error.toStdString();
    }
    CalibrationStore again(path);
    again.load();
    EXPECT_TRUE(again.note().isEmpty()) << again.note().toStdString();
    const auto r = again.calibration(usb, Channel::R);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->voltsPerUnit, 1.234567890123e-4) << "every digit kept";
    EXPECT_EQ(r->captureLevel, 49152);
    EXPECT_EQ(r->loopbackCornerHz, 9.87);
    const auto l = again.calibration(usb, Channel::L);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->captureLevel, std::nullopt);
    EXPECT_EQ(l->loopbackCornerHz, 0.0);
    const auto cornerOnly = again.calibration(plug, Channel::R);
    ASSERT_TRUE(cornerOnly) << "the loopback's corner kept without a calibration";
    EXPECT_FALSE(measurement::usableCalibration(*cornerOnly));
    EXPECT_EQ(cornerOnly->loopbackCornerHz, 12.5);
    ASSERT_TRUE(again.calibration(plug, Channel::L));
    EXPECT_EQ(again.calibration(plug, Channel::L)->voltsPerUnit, 7e-3);
    EXPECT_FALSE(again.calibration(QStringLiteral("default"), Channel::R));
    EXPECT_EQ(again.channel(Channel::R), (app::ChannelSettings{10.0, true}));
    EXPECT_EQ(again.channel(Channel::L), (app::ChannelSettings{2.5, false}));

    // A person can read it: the device's name and the figures in plain text.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("voltsPerUnit=0.0001234567890123")) << text.toStdString();
    EXPECT_TRUE(text.contains("hw:CARD=Device,DEV=0")) << text.toStdString();
}

TEST(CalibrationStore, ADamagedOrForeignFileIsIgnoredWithANoteAndKeptAside) {
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"binary", QByteArray("\x00\xff\x13[[[\n=\x01\x02", 10)},
        {"another program's",
         "[General]\ncolour=blue\n[devices]\n1\\name=sim\n"
         "1\\R\\voltsPerUnit=0.001\nsize=1\n"},
        {"a later format",
         "[soundscope]\nformat=7\n[devices]\n1\\name=sim\n"
         "1\\R\\voltsPerUnit=0.001\nsize=1\n"},
        {"cut short", "[soundscope]\nform"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = writeFile(dir, c.bytes);
        CalibrationStore store(path);
        store.load();
        EXPECT_FALSE(store.note().isEmpty());
        EXPECT_TRUE(store.note().contains(path));
        EXPECT_FALSE(store.calibration(QStringLiteral("sim"), Channel::R));
        // Saving keeps the file it could not read, under another name.
        store.setCalibration(QStringLiteral("sim"), Channel::R, Calibration{1e-4, 1, 0});
        QString error;
        ASSERT_TRUE(store.save(error)) << error.toStdString();
        QFile aside(path + QStringLiteral(".ignored"));
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(aside.readAll(), c.bytes);
        CalibrationStore again(path);
        again.load();
        EXPECT_TRUE(again.note().isEmpty()) << again.note().toStdString();
        EXPECT_TRUE(again.calibration(QStringLiteral("sim"), Channel::R));
    }
}

TEST(CalibrationStore, EntriesThatHoldNoUsableNumberAreLeftOutWithANote) {
    QTemporaryDir dir;
    const QString path = writeFile(dir,
                                   "[soundscope]\nformat=1\n"
                                   "[channelR]\nprobe=-3\nlogic=maybe\n"
                                   "[channelL]\nprobe=10\nlogic=true\n"
                                   "[devices]\n"
                                   "1\\name=a\n1\\R\\voltsPerUnit=nan\n1\\L\\voltsPerUnit=0.002\n"
                                   "2\\name=b\n2\\R\\voltsPerUnit=-1\n"
                                   "3\\name=a\n3\\R\\voltsPerUnit=0.5\n"
                                   "4\\R\\voltsPerUnit=0.5\n"
                                   "size=4\n");
    CalibrationStore store(path);
    store.load();
    EXPECT_FALSE(store.note().isEmpty());
    EXPECT_EQ(store.channel(Channel::R), (app::ChannelSettings{1.0, false})) << "the defaults";
    EXPECT_EQ(store.channel(Channel::L), (app::ChannelSettings{10.0, true}));
    EXPECT_FALSE(store.calibration(QStringLiteral("a"), Channel::R)) << "NaN, and a's second entry";
    ASSERT_TRUE(store.calibration(QStringLiteral("a"), Channel::L));
    EXPECT_EQ(store.calibration(QStringLiteral("a"), Channel::L)->voltsPerUnit, 0.002);
    EXPECT_FALSE(store.calibration(QStringLiteral("b"), Channel::R));
}

}  // namespace
