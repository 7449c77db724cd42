// The ALSA wave driver against alsa-lib itself, without a sound server (file_pcms.h): what it does
// beyond the stream contract (wave_contract_test.cpp). Opening refuses missing devices and formats
// with a text that says why; capture and playback carry the bytes exactly; audio nobody asked for
// is dropped; a closed playback's close message follows its last frames; a paused playback holds
// its queue, over silence on a device that cannot pause; a device whose thread cannot wait fails
// with a text. alsa-lib's own messages stay off stderr, kept for the failing thread's text.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "file_pcms.h"
#include "platform/MessageLoop.h"
#include "platform/QueuedWaveStream.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaError.h"
#include "platform/alsa/AlsaLog.h"
#include "platform/alsa/AlsaWaveDriver.h"
#include "platform/alsa/PcmSetup.h"
#include "platform/alsa/PlaybackDevice.h"
#include "platform_test_support.h"

namespace {

using filepcm::Bytes;
using filepcm::inputPart;
using filepcm::kCapturePcm;
using filepcm::kInputBytes;
using filepcm::kMonoOnlyPcm;
using filepcm::kPacedPlaybackPcm;
using filepcm::kPlaybackPcm;
using filepcm::readPlayed;
using platform::Direction;
using platform::MMResult;
using platform::WaveFormat;
using platform::WaveHeader;
using platform::WaveMessage;
using platformtest::pcm;
constexpr uint32_t kDoneNotQueued = platform::kHeaderDone;
constexpr uint32_t kDoneAndQueuedFlags = platform::kHeaderDone | platform::kHeaderInQueue;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new filepcm::Environment);

// How far this process has read the capture input file: the file plugin reads it as the driver
// thread reads the device. 0 while it is not open.
uint64_t inputReadPosition() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (error || target != filepcm::Environment::dir / "input.raw") continue;
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        std::string key;
        uint64_t position = 0;
        while (info >> key) {
            if (key == "pos:" && info >> position) return position;
        }
    }
    return 0;
}

// Records the messages of one stream, and owns the buffers queued to it.
class AlsaFileTest : public ::testing::Test, public platform::MessageTarget {
  protected:
    struct Message {
        WaveMessage id;
        uintptr_t stream;
        uintptr_t header;
    };

    AlsaFileTest() : id_(loop_.registerTarget(this)) {}
    ~AlsaFileTest() override {
        stream_.reset();
        loop_.unregisterTarget(id_);
    }
    void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) override {
        messages_.push_back({static_cast<WaveMessage>(message), param1, param2});
    }

    MMResult open(Direction direction, const WaveFormat& format,
                  uint32_t deviceId = platform::kWaveMapper) {
        return driver_.open(direction, deviceId, format, loop_, id_, stream_);
    }
    // Headers over `buffers`, prepared on the open stream.
    void prepare(std::vector<Bytes> buffers) {
        buffers_ = std::move(buffers);
        headers_.assign(buffers_.size(), WaveHeader{});
        for (size_t i = 0; i < buffers_.size(); ++i) {
            headers_[i].data = buffers_[i].data();
            headers_[i].bufferLength = static_cast<uint32_t>(buffers_[i].size());
            ASSERT_EQ(stream_->prepareHeader(headers_[i]), MMResult::NoError);
        }
    }
    void queue(std::initializer_list<size_t> which) {
        for (size_t i : which) ASSERT_EQ(stream_->addBuffer(headers_[i]), MMResult::NoError);
    }
    uintptr_t address(size_t i) const { return reinterpret_cast<uintptr_t>(&headers_[i]); }
    // Header addresses of the messages `id`, in the order they arrived.
    std::vector<uintptr_t> returned(WaveMessage id) const {
        std::vector<uintptr_t> headers;
        for (const Message& m : messages_) {
            if (m.id == id) headers.push_back(m.header);
        }
        return headers;
    }
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd fd{loop_.wakeFd(), POLLIN, 0};
            ::poll(&fd, 1, 20);
            loop_.pump();
        }
        return true;
    }

    // The loop outlives the driver, which may post while it goes (a playback playing out).
    platform::MessageLoop loop_;
    platform::alsa::AlsaWaveDriver driver_{kCapturePcm, kPlaybackPcm};
    platform::TargetId id_;
    std::unique_ptr<platform::WaveStream> stream_;
    std::vector<Message> messages_;
    std::vector<Bytes> buffers_;
    std::vector<WaveHeader> headers_;
};

// --- Opening -------------------------------------------------------------------------------------

struct OpenFailureCase {
    const char* name;
    const char* device;
    uint32_t deviceId;
    WaveFormat format;
    MMResult expected;
    std::vector<std::string> textParts;  // each must appear in the error text
};
void PrintTo(const OpenFailureCase& c, std::ostream* os) {
    *os << c.name;
}

class OpenFailure : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailure, FailsWithCodeAndReasonAndLeavesNothingOpen) {
    const OpenFailureCase& c = GetParam();
    for (Direction direction : {Direction::Capture, Direction::Playback}) {
        platform::alsa::AlsaWaveDriver driver(c.device, c.device);
        platform::MessageLoop loop;
        std::unique_ptr<platform::WaveStream> stream;
        EXPECT_EQ(driver.open(direction, c.deviceId, c.format, loop, 1, stream), c.expected);
        EXPECT_EQ(stream, nullptr);
        EXPECT_EQ(loop.pending(), 0u) << "a failed open posts nothing";
        const std::string text = driver.errorText(direction, c.expected);
        EXPECT_EQ(text.rfind(platform::standardErrorText(c.expected), 0), 0u) << text;
        for (const std::string& part : c.textParts) {
            EXPECT_NE(text.find(part), std::string::npos) << text;
        }
    }
}

std::vector<OpenFailureCase> openFailureCases() {
    constexpr uint32_t kMapper = platform::kWaveMapper;
    WaveFormat notPcm = pcm(2, 16);
    notPcm.formatTag = 3;
    WaveFormat misaligned = pcm(2, 16);
    misaligned.blockAlign = 2;
    return {
        {"MissingDevice",
         "soundscope_no_such_pcm",
         kMapper,
         pcm(2, 16),
         MMResult::BadDeviceId,
         {"snd_pcm_open(\"soundscope_no_such_pcm\")", "No such file or directory",
          "(alsa-lib: Unknown PCM soundscope_no_such_pcm)"}},
        {"MissingCardNumber",
         "hw:97",
         kMapper,
         pcm(2, 16),
         MMResult::BadDeviceId,
         {"snd_pcm_open(\"hw:97\")", "(alsa-lib: ", "97"}},
        {"NumberedDevice",
         kCapturePcm,
         0,
         pcm(2, 16),
         MMResult::BadDeviceId,
         {"device 0", kCapturePcm}},
        {"StereoOnMonoDevice",
         kMonoOnlyPcm,
         kMapper,
         pcm(2, 16),
         MMResult::BadFormat,
         {"snd_pcm_hw_params_set_channels(\"soundscope_mono_only\", 2 channels)",
          "Invalid argument"}},
        {"UnsupportedSampleSize",
         kCapturePcm,
         kMapper,
         pcm(2, 24),
         MMResult::BadFormat,
         {"24-bit"}},
        {"NotPcm", kCapturePcm, kMapper, notPcm, MMResult::BadFormat, {"not PCM"}},
        {"BlockAlignDisagreesWithSamples",
         kCapturePcm,
         kMapper,
         misaligned,
         MMResult::BadFormat,
         {"block alignment 2"}},
    };
}

INSTANTIATE_TEST_SUITE_P(AlsaDriver, OpenFailure, ::testing::ValuesIn(openFailureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A format that a hardware device refuses (mono playback, 44100 Hz, S16) names the plug device
// that converts it; a plugin, which converts already or never will, gets no such hint.
TEST(AlsaFormatHint, ARefusedFormatNamesThePlugDeviceThatConvertsIt) {
    const struct {
        const char* device;
        bool hardware;  // what the PCM's type says
        const char* hint;
    } cases[] = {
        {"hw:1,0", true, "; use \"plughw:1,0\", which converts it"},
        {"hw:CARD=PCH,DEV=0", true, "; use \"plughw:CARD=PCH,DEV=0\", which converts it"},
        {"hw:0", false, "; use \"plughw:0\", which converts it"},  // the name says it
        {"usbcard", true, "; use \"plug:usbcard\", which converts it"},
        {"front:CARD=PCH", true, "; use \"plug:'front:CARD=PCH'\", which converts it"},
        {"default", false, ""},
        {"plughw:0", false, ""},
        {kMonoOnlyPcm, false, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::alsa::conversionHint(c.device, c.hardware), c.hint) << c.device;
}

// --- Capture -------------------------------------------------------------------------------------

struct CaptureCase {
    const char* name;
    uint16_t channels;
    uint16_t bits;
    uint32_t bufferLength;
};
void PrintTo(const CaptureCase& c, std::ostream* os) {
    *os << c.name;
}

class FileCapture : public AlsaFileTest, public ::testing::WithParamInterface<CaptureCase> {};

// Buffers come back in queue order, full, and together hold the input file from its first byte.
// The file device is not paced: whatever arrives while nothing is queued is dropped, so every
// buffer is queued before the start.
TEST_P(FileCapture, BuffersHoldTheInputBitExactInQueueOrder) {
    const CaptureCase& c = GetParam();
    constexpr size_t kBuffers = 7;
    const WaveFormat format = pcm(c.channels, c.bits);
    const uint32_t filled = c.bufferLength / format.blockAlign * format.blockAlign;
    ASSERT_LE(filled * kBuffers, kInputBytes);
    ASSERT_EQ(open(Direction::Capture, format), MMResult::NoError);
    prepare(std::vector<Bytes>(kBuffers, Bytes(c.bufferLength)));
    for (WaveHeader& h : headers_) ASSERT_EQ(stream_->addBuffer(h), MMResult::NoError);
    ASSERT_EQ(stream_->start(), MMResult::NoError);
    ASSERT_TRUE(pumpUntil([&] { return returned(WaveMessage::CaptureData).size() == kBuffers; }));
    EXPECT_EQ(stream_->reset(), MMResult::NoError);
    EXPECT_EQ(stream_->close(), MMResult::NoError);
    loop_.pump();

    std::vector<uintptr_t> expectedOrder;
    for (size_t i = 0; i < kBuffers; ++i) {
        expectedOrder.push_back(address(i));
        EXPECT_EQ(headers_[i].flags & kDoneAndQueuedFlags, kDoneNotQueued);
        EXPECT_EQ(headers_[i].bytesRecorded, filled);
        const Bytes expected = inputPart(i * filled, filled);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffers_[i].begin()))
            << "buffer " << i;
    }
    EXPECT_EQ(returned(WaveMessage::CaptureData), expectedOrder);
    EXPECT_EQ(messages_.front().id, WaveMessage::CaptureOpen);
    EXPECT_EQ(messages_.back().id, WaveMessage::CaptureClose);
    for (const Message& m : messages_) {
        EXPECT_EQ(m.stream, streamIdentity(*stream_));
    }
}

INSTANTIATE_TEST_SUITE_P(AlsaDriver, FileCapture,
                         ::testing::Values(CaptureCase{"Stereo16QuarterSecond", 2, 16, 44100},
                                           // two spare bytes: room for half a frame stays empty
                                           CaptureCase{"Stereo16WithPartialFrameRoom", 2, 16, 4102},
                                           CaptureCase{"Mono8", 1, 8, 1001},
                                           // one second: more than the device ring holds at once
                                           CaptureCase{"LongerThanTheDeviceRing", 2, 16, 176400},
                                           CaptureCase{"OneFrame", 2, 16, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

class FileCaptureStream : public AlsaFileTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(open(Direction::Capture, pcm(2, 16)), MMResult::NoError);
        prepare(std::vector<Bytes>(4, Bytes(4400)));
    }
};

TEST_F(FileCaptureStream, AudioArrivingWithNothingQueuedIsDroppedAndTheRunGoesOn) {
    ASSERT_EQ(stream_->start(), MMResult::NoError);
    // Until the device has delivered audio with nowhere to go.
    ASSERT_TRUE(pumpUntil([] { return inputReadPosition() > 0; }));
    queue({0});
    ASSERT_TRUE(pumpUntil([&] { return returned(WaveMessage::CaptureData).size() == 1; }));
    EXPECT_EQ(headers_[0].bytesRecorded, headers_[0].bufferLength);
}

// --- Playback ------------------------------------------------------------------------------------

class FilePlayback : public AlsaFileTest {
  protected:
    // Successive parts of the input; the last ends in half a frame, which cannot be played.
    static constexpr uint32_t kLengths[] = {44100, 4408, 1002};

    void SetUp() override {
        ASSERT_EQ(openDevice(), MMResult::NoError);
        std::vector<Bytes> parts;
        size_t offset = 0;
        for (uint32_t length : kLengths) {
            parts.push_back(inputPart(offset, length));
            offset += length;
        }
        prepare(std::move(parts));
    }
    // What the device should have received: every whole frame of every buffer, in order.
    Bytes wholeFrames() const {
        Bytes frames;
        for (const Bytes& b : buffers_)
            frames.insert(frames.end(), b.begin(), b.end() - b.size() % 4);
        return frames;
    }
    std::vector<uintptr_t> all() const { return {address(0), address(1), address(2)}; }
    virtual MMResult openDevice() { return open(Direction::Playback, pcm(2, 16)); }

    // Also notes how much had reached the output when the close message arrived.
    void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) override {
        AlsaFileTest::handleMessage(message, param1, param2);
        if (message == messageId(WaveMessage::PlaybackClose)) playedAtClose_ = readPlayed().size();
    }
    std::optional<size_t> playedAtClose_;
};

TEST_F(FilePlayback, PlayedBuffersLandBitExactInTheOutput) {
    queue({0, 1, 2});
    ASSERT_TRUE(pumpUntil([&] { return returned(WaveMessage::PlaybackDone).size() == 3; }));
    EXPECT_EQ(returned(WaveMessage::PlaybackDone), all());
    for (const WaveHeader& h : headers_) EXPECT_EQ(h.flags & kDoneAndQueuedFlags, kDoneNotQueued);
    ASSERT_EQ(stream_->close(), MMResult::NoError);
    // The close message follows the close of the device, on its own thread.
    ASSERT_TRUE(pumpUntil([&] { return messages_.back().id == WaveMessage::PlaybackClose; }));
    EXPECT_EQ(messages_.front().id, WaveMessage::PlaybackOpen);
    EXPECT_EQ(messages_.back().id, WaveMessage::PlaybackClose);
    EXPECT_EQ(readPlayed(), wholeFrames());
}

TEST_F(FilePlayback, ResetDropsQueuedBuffersBeforeTheyReachTheOutput) {
    ASSERT_EQ(stream_->pause(), MMResult::NoError);
    queue({0, 1, 2});
    ASSERT_EQ(stream_->reset(), MMResult::NoError);
    ASSERT_EQ(stream_->close(), MMResult::NoError);
    loop_.pump();
    EXPECT_EQ(returned(WaveMessage::PlaybackDone), all());
    EXPECT_TRUE(readPlayed().empty());
}

// close() does not wait for the device to play out; the close message comes once it has, after
// the last buffer's frames have reached the output.
TEST_F(FilePlayback, CloseReturnsAtOnceAndItsMessageFollowsTheLastFramesInTheOutput) {
    queue({0, 1, 2});
    ASSERT_TRUE(pumpUntil([&] { return returned(WaveMessage::PlaybackDone).size() == 3; }));
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(stream_->close(), MMResult::NoError);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(100));
    stream_.reset();  // as the component does right after close()
    ASSERT_TRUE(pumpUntil([&] { return playedAtClose_.has_value(); }));
    EXPECT_EQ(*playedAtClose_, wholeFrames().size());
    EXPECT_EQ(readPlayed(), wholeFrames());
}

// The paced playback, set up as the driver does; the parameter false makes it a device that says
// it cannot pause (the file plugin itself can).
class PacedPause : public FilePlayback, public ::testing::WithParamInterface<bool> {
  protected:
    MMResult openDevice() override {
        namespace alsa = platform::alsa;
        alsa::PcmDevice::Setup s{Direction::Playback, kPacedPlaybackPcm, {}, {}, {}, pcm(2, 16)};
        if (!alsa::PcmHandle::open(s.device, s.direction, s.pcm).ok() ||
            !alsa::setUpPcm(s.pcm.get(), s.device, pcm(2, 16), s.geometry).ok()) {
            return MMResult::Error;
        }
        s.geometry.canPause = s.geometry.canPause && GetParam();
        return platform::QueuedWaveStream::open(
            {Direction::Playback, kPacedPlaybackPcm, 4, &loop_, id_,
             std::make_shared<platform::ErrorLog>()},
            std::make_shared<alsa::PlaybackDevice>(std::move(s)), stream_);
    }
};

// Paused while it runs, the device takes nothing from the queue and returns no buffer; one that
// cannot pause plays silence meanwhile. After restart the rest follows, bit-exact.
TEST_P(PacedPause, TheQueueWaitsForRestartAndFollowsAnySilence) {
    const bool canPause = GetParam();
    queue({0});
    ASSERT_TRUE(pumpUntil([&] { return returned(WaveMessage::PlaybackDone).size() == 1; }));
    ASSERT_EQ(stream_->pause(), MMResult::NoError);
    queue({1, 2});
    pumpUntil([] { return false; }, std::chrono::milliseconds(200));  // time for a fault to show
    if (!canPause) {  // until silence shows past buffer 0 and the ring the file plugin holds back
        ASSERT_TRUE(pumpUntil([] { return readPlayed("paced.raw").size() >= 4 * 44100; }));
    }
    EXPECT_EQ(returned(WaveMessage::PlaybackDone), std::vector{address(0)});
    ASSERT_EQ(stream_->restart(), MMResult::NoError);
    ASSERT_TRUE(pumpUntil([&] { return returned(WaveMessage::PlaybackDone).size() == 3; }));
    EXPECT_EQ(returned(WaveMessage::PlaybackDone), all());
    ASSERT_EQ(stream_->close(), MMResult::NoError);
    ASSERT_TRUE(pumpUntil([&] { return messages_.back().id == WaveMessage::PlaybackClose; }));

    const Bytes played = readPlayed("paced.raw");
    Bytes expected = wholeFrames();
    ASSERT_GE(played.size(), expected.size());
    const size_t silence = played.size() - expected.size();
    EXPECT_EQ(silence > 0, !canPause) << silence << " bytes of silence";
    expected.insert(expected.begin() + kLengths[0], silence, std::byte{0});
    EXPECT_TRUE(played == expected);
}

INSTANTIATE_TEST_SUITE_P(AlsaDriver, PacedPause, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "DeviceThatPauses" : "DeviceThatCannotPause");
});

// Opens a capture with one buffer queued, lowers the descriptor limit below what poll() needs and
// starts it; exits with 0 when the device then fails and the driver's text says why. Only the
// soft limit is lowered, and only until the failure is posted: sanitizer runtimes need
// descriptors of their own to check the dispatch.
[[noreturn]] void startACaptureThatCannotPoll() {
    platform::MessageLoop loop;
    platformtest::Recorder recorder;
    platform::alsa::AlsaWaveDriver driver(kCapturePcm, kPlaybackPcm);
    std::unique_ptr<platform::WaveStream> stream;
    platformtest::Pool pool(1, 4400);
    rlimit saved{};
    if (getrlimit(RLIMIT_NOFILE, &saved) != 0 ||
        driver.open(Direction::Capture, platform::kWaveMapper, pcm(2, 16), loop,
                    loop.registerTarget(&recorder), stream) != MMResult::NoError ||
        stream->prepareHeader(pool.headers[0]) != MMResult::NoError ||
        stream->addBuffer(pool.headers[0]) != MMResult::NoError) {
        std::_Exit(2);
    }
    loop.pump();                          // the open message
    const rlimit one{1, saved.rlim_max};  // the wake event and the PCM make two
    if (setrlimit(RLIMIT_NOFILE, &one) != 0 || stream->start() != MMResult::NoError) std::_Exit(3);
    // The failure returns the buffer: its message wakes the loop.
    pollfd fd{loop.wakeFd(), POLLIN, 0};
    if (::poll(&fd, 1, 10000) != 1) std::_Exit(4);
    setrlimit(RLIMIT_NOFILE, &saved);
    loop.pump();
    if (recorder.headers(WaveMessage::CaptureData).size() != 1) std::_Exit(5);
    // Later calls fail and say why.
    if (stream->addBuffer(pool.headers[0]) != MMResult::Error) std::_Exit(6);
    const std::string text = driver.errorText(Direction::Capture, MMResult::Error);
    std::fputs(text.c_str(), stderr);
    std::_Exit(text.find("poll(\"soundscope_capture_file\"): ") != std::string::npos ? 0 : 7);
}

// A driver thread that cannot wait for its device (poll() is refused more descriptors than the
// process may have) fails the device with a text instead of spinning. In a child process, whose
// descriptor limit can be lowered without harm; the stream is opened there, since fork() would
// not carry its driver thread over.
TEST(AlsaDriverThread, AThreadThatCannotPollFailsTheDeviceWithAText) {
#ifdef SOUNDSCOPE_SANITIZED
    // UBSan checks a dynamic type it has not cached by probing memory through a pipe, which a
    // process allowed one descriptor cannot make: the failing thread's own end, racing the limit's
    // restore, would be reported as an invalid object. The other builds run this test.
    GTEST_SKIP() << "needs more descriptors than it leaves the sanitizer";
#endif
    EXPECT_EXIT(startACaptureThatCannotPoll(), ::testing::ExitedWithCode(0), "Invalid argument");
}

// --- alsa-lib's own messages ---------------------------------------------------------------------

// Two threads' opens fail before either reads (a buffer they shared would hold both messages).
TEST(AlsaLibraryMessages, EachThreadsTextCarriesItsOwnReasonAndStderrHearsNothing) {
    platform::alsa::routeLibraryMessages();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file.get()), STDERR_FILENO);
    std::string texts[2];
    {
        std::latch start(2), failed(2);
        const auto open = [&](int i) {
            const std::string name = "soundscope_no_such_pcm_" + std::to_string(i);
            snd_pcm_t* pcm = nullptr;
            start.arrive_and_wait();
            const int err = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, 0);
            failed.arrive_and_wait();
            texts[i] = platform::alsa::callText("snd_pcm_open", name, err);
            texts[i] += '|' + std::string(platform::alsa::libraryMessages());  // taken: empty
        };
        const std::jthread a(open, 0), b(open, 1);
    }
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    for (const std::string name : {"soundscope_no_such_pcm_0", "soundscope_no_such_pcm_1"}) {
        EXPECT_NE(
            std::find(std::begin(texts), std::end(texts),
                      "snd_pcm_open(" + name +
                          "): No such file or directory (alsa-lib: Unknown PCM " + name + ")|"),
            std::end(texts));
    }
    EXPECT_EQ(std::ftell(file.get()), 0) << "bytes reached stderr";
}

TEST(AlsaLibraryMessages, TheRootCauseAndTheFailedCallAreKept) {
    platform::alsa::routeLibraryMessages();  // as the drivers do; this test may run alone
    platform::alsa::discardLibraryMessages();
    snd_lib_error("confmisc.c", 855, "parse_card", 0, "cannot find card '%d'", 0);
    snd_lib_error("conf.c", 5180, "_snd_config_evaluate", 0, "function returned error");
    snd_lib_error("pcm.c", 2666, "snd_pcm_open_noupdate", ENOENT, "Unknown PCM %s", "default");
    EXPECT_EQ(platform::alsa::libraryMessages(),
              "cannot find card '0'; Unknown PCM default: No such file or directory");

    // The pulse plugin's message ends with a line break, which would split a notice's line.
    platform::alsa::discardLibraryMessages();
    snd_lib_error("pulse.c", 242, "pulse_connect", 0, "PulseAudio: Unable to connect: %s\n",
                  "Connection refused");
    EXPECT_EQ(platform::alsa::libraryMessages(),
              "PulseAudio: Unable to connect: Connection refused");
}

}  // namespace
