// The ALSA wave driver against devices that do not answer at once, as a sound server that has
// stopped does not, built from alsa-lib's file plugin (file_pcms.h, and two devices of this file):
// an open that waits (its input a FIFO nobody writes yet) goes on without the caller and is taken
// by a later open; a closed capture is parked, running, and taken over by the next open of its
// device and format, closing once its grace time has passed; a thread stuck inside alsa-lib (a
// close that writes into a pipe nobody reads) does not hold up the driver's end, and posts nothing
// once abandoned.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "file_pcms.h"
#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaWaveDriver.h"
#include "platform/alsa/ClosedDevices.h"
#include "platform/alsa/PcmDevice.h"
#include "platform/alsa/PcmOpener.h"
#include "platform_test_support.h"

namespace {

using platform::Direction;
using platform::MMResult;
using platform::WaveMessage;
using platformtest::pcm;
using platformtest::Pool;
using platformtest::Recorder;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kSlowCapturePcm[] = "soundscope_slow_capture";
constexpr char kStuckPlaybackPcm[] = "soundscope_stuck_playback";
// How long the stuck playback's reader sleeps before it reads (and the stuck write goes on): longer
// than the driver's end waits for its devices.
constexpr auto kReaderSleep = platform::alsa::kClosedDevicesWait + milliseconds(1500);

// After file_pcms.h's: two more devices, in a configuration file of their own.
class SlowDevices : public ::testing::Environment {
  public:
    static inline std::filesystem::path fifo;

    void SetUp() override {
        const std::filesystem::path dir = filepcm::Environment::dir;
        fifo = dir / "input.fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Its reader sleeps before it reads: once the pipe is full, a write into it waits.
        const double sleepSeconds = std::chrono::duration<double>(kReaderSleep).count();
        std::ofstream(dir / "slow.conf")
            << "pcm." << kSlowCapturePcm << " { type file slave.pcm null file \"/dev/null\" "
            << "infile \"" << fifo.string() << "\" format raw }\n"
            << "pcm." << kStuckPlaybackPcm << " { type file slave.pcm null file \"| sleep "
            << sleepSeconds << "; exec cat > /dev/null\" format raw }\n";
        const std::string path =
            std::string(std::getenv("ALSA_CONFIG_PATH")) + ":" + (dir / "slow.conf").string();
        ASSERT_EQ(setenv("ALSA_CONFIG_PATH", path.c_str(), 1), 0);
    }
};

const auto* const kFiles = ::testing::AddGlobalTestEnvironment(new filepcm::Environment);
const auto* const kSlow = ::testing::AddGlobalTestEnvironment(new SlowDevices);

bool pumpUntil(platform::MessageLoop& loop, const std::function<bool()>& done,
               milliseconds timeout = milliseconds(10000)) {
    for (const auto end = Clock::now() + timeout; !done();) {
        if (Clock::now() > end) return false;
        pollfd fd{loop.wakeFd(), POLLIN, 0};
        ::poll(&fd, 1, 10);
        loop.pump();
    }
    return true;
}

TEST(SlowDevice, AnOpenThatDoesNotAnswerInTimeGoesOnAndALaterOpenTakesIt) {
    platform::MessageLoop loop;
    Recorder recorder;
    const platform::TargetId target = loop.registerTarget(&recorder);
    platform::alsa::AlsaWaveDriver driver(kSlowCapturePcm, filepcm::kPlaybackPcm);
    std::unique_ptr<platform::WaveStream> stream;
    const auto open = [&] {
        return driver.open(Direction::Capture, platform::kWaveMapper, pcm(2, 16), loop, target,
                           stream);
    };

    const auto first = Clock::now();
    ASSERT_EQ(open(), MMResult::NoAnswer);
    const auto waited = Clock::now() - first;
    EXPECT_GE(waited, platform::alsa::kOpenWait);
    EXPECT_LT(waited, platform::alsa::kOpenWait + milliseconds(200));
    std::string text = driver.errorText(Direction::Capture, MMResult::NoAnswer);
    EXPECT_EQ(text.rfind("The device does not answer. (snd_pcm_open(\"soundscope_slow_capture\"): "
                         "no answer within 100 ms; still waiting for it)",
                         0),
              0u)
        << text;

    // The open on its way is not waited for again.
    const auto second = Clock::now();
    EXPECT_EQ(open(), MMResult::NoAnswer);
    EXPECT_LT(Clock::now() - second, milliseconds(50));
    text = driver.errorText(Direction::Capture, MMResult::NoAnswer);
    EXPECT_NE(text.find("no answer for "), std::string::npos) << text;
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(loop.pending(), 0u) << "a refused open posts nothing";

    // The device answers (its input gets a writer): the next open takes what the first began.
    const int writer = ::open(SlowDevices::fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    MMResult opened = MMResult::NoAnswer;
    for (const auto end = Clock::now() + milliseconds(5000);
         opened == MMResult::NoAnswer && Clock::now() < end;
         std::this_thread::sleep_for(milliseconds(10)))
        opened = open();
    EXPECT_EQ(opened, MMResult::NoError) << driver.errorText(Direction::Capture, opened);
    ASSERT_NE(stream, nullptr);
    loop.pump();
    EXPECT_EQ(recorder.got.front().message, WaveMessage::CaptureOpen);
    EXPECT_EQ(stream->close(), MMResult::NoError);
    stream.reset();
    ::close(writer);
    loop.unregisterTarget(target);
}

// One capture run of `pool`'s first buffer on `stream`: its bytes.
std::vector<std::byte> captureOne(platform::MessageLoop& loop, Recorder& recorder,
                                  platform::WaveStream& stream, Pool& pool) {
    recorder.got.clear();
    platform::WaveHeader& h = pool.headers[0];
    EXPECT_EQ(stream.prepareHeader(h), MMResult::NoError);
    EXPECT_EQ(stream.addBuffer(h), MMResult::NoError);
    EXPECT_EQ(stream.start(), MMResult::NoError);
    EXPECT_TRUE(
        pumpUntil(loop, [&] { return !recorder.headers(WaveMessage::CaptureData).empty(); }));
    EXPECT_EQ(stream.reset(), MMResult::NoError);
    EXPECT_EQ(stream.close(), MMResult::NoError);
    return pool.data[0];
}

// The file plugin reads its input file from the start whenever the device is opened anew: a
// capture that goes on where the last left off is the one parked by the last close.
TEST(ParkedCapture, TheNextOpenOfItsDeviceAndFormatTakesItOverAsItRuns) {
    platform::MessageLoop loop;
    Recorder recorder;
    const platform::TargetId target = loop.registerTarget(&recorder);
    platform::alsa::AlsaWaveDriver driver(filepcm::kCapturePcm, filepcm::kPlaybackPcm);
    constexpr uint32_t kBytes = 4400;
    const auto run = [&](const platform::WaveFormat& format, std::string& error) {
        std::unique_ptr<platform::WaveStream> stream;
        Pool pool(1, kBytes);
        const MMResult r =
            driver.open(Direction::Capture, platform::kWaveMapper, format, loop, target, stream);
        if (failed(r)) {
            error = driver.errorText(Direction::Capture, r);
            return std::vector<std::byte>{};
        }
        const uintptr_t id = streamIdentity(*stream);
        std::vector<std::byte> bytes = captureOne(loop, recorder, *stream, pool);
        loop.pump();
        EXPECT_EQ(recorder.got.back(), (platformtest::Message{WaveMessage::CaptureClose, id, 0}))
            << "a parked capture's close message comes at once";
        return bytes;
    };
    const filepcm::Bytes fromTheStart = filepcm::inputPart(0, kBytes);
    std::string error;
    EXPECT_EQ(run(pcm(2, 16), error), fromTheStart) << error;
    EXPECT_NE(run(pcm(2, 16), error), fromTheStart) << "opened anew" << error;
    // Another format needs another device: the parked one closes, the new one starts afresh.
    EXPECT_EQ(run(pcm(1, 16), error), fromTheStart) << error;
    EXPECT_NE(run(pcm(1, 16), error), fromTheStart) << "opened anew" << error;
    // Unclaimed for its grace time, the parked device closes: the next open starts afresh.
    std::this_thread::sleep_for(platform::alsa::kWarmGrace + milliseconds(200));
    EXPECT_EQ(run(pcm(1, 16), error), fromTheStart) << "still parked" << error;
    loop.unregisterTarget(target);
}

// A playback whose close waits inside alsa-lib (the file plugin writes what the ring held into a
// pipe whose reader sleeps) holds up neither close() nor the driver's end beyond its bounded wait,
// and once abandoned posts nothing, not even when its close is done at last.
TEST(StuckDevice, TheDriversEndAbandonsAThreadStuckInsideAlsaLib) {
    platform::MessageLoop loop;
    Recorder recorder;
    const platform::TargetId target = loop.registerTarget(&recorder);
    auto driver =
        std::make_unique<platform::alsa::AlsaWaveDriver>(filepcm::kCapturePcm, kStuckPlaybackPcm);
    std::unique_ptr<platform::WaveStream> stream;
    ASSERT_EQ(
        driver->open(Direction::Playback, platform::kWaveMapper, pcm(2, 16), loop, target, stream),
        MMResult::NoError)
        << driver->errorText(Direction::Playback, MMResult::Error);
    // More than the ring (88200 bytes) but less than the ring and the pipe hold together: the
    // writes go through, and the close's flush of the ring waits for the reader.
    Pool pool(2, 50000);
    for (platform::WaveHeader& h : pool.headers) {
        ASSERT_EQ(stream->prepareHeader(h), MMResult::NoError);
        ASSERT_EQ(stream->addBuffer(h), MMResult::NoError);
    }
    ASSERT_TRUE(
        pumpUntil(loop, [&] { return recorder.headers(WaveMessage::PlaybackDone).size() == 2; }));
    const auto closing = Clock::now();
    ASSERT_EQ(stream->close(), MMResult::NoError);
    stream.reset();
    EXPECT_LT(Clock::now() - closing, milliseconds(100)) << "close() waited";
    driver.reset();
    const auto ended = Clock::now() - closing;
    EXPECT_GE(ended, platform::alsa::kClosedDevicesWait - milliseconds(100)) << "not stuck at all?";
    EXPECT_LT(ended, platform::alsa::kClosedDevicesWait + milliseconds(500));
    // The reader reads at last, and the stuck close ends; its message is not posted.
    pumpUntil(
        loop, [] { return false; },
        std::chrono::duration_cast<milliseconds>(kReaderSleep - ended) + milliseconds(1000));
    EXPECT_TRUE(recorder.headers(WaveMessage::PlaybackClose).empty());
    loop.unregisterTarget(target);
}

}  // namespace
