// The ALSA wave driver against alsa-lib itself, without a sound server: the `file` PCM plugin
// over a `null` slave feeds capture from a raw file and writes playback to one (both unpaced), and
// a `multi` PCM with a single channel stands for a device that refuses stereo.

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/WaveDriver.h"
#include "platform/alsa/AlsaWaveDriver.h"

namespace {

using platform::Direction;
using platform::MMResult;
using platform::WaveFormat;
using platform::WaveHeader;
using Bytes = std::vector<std::byte>;

constexpr char kCapturePcm[] = "soundscope_capture_file";
constexpr char kPlaybackPcm[] = "soundscope_playback_file";
constexpr char kMonoOnlyPcm[] = "soundscope_mono_only";
constexpr size_t kInputBytes = 8 * 44100 * 4;  // 8 s of 16-bit stereo at 44100 Hz
constexpr uint32_t kDoneNotQueued = platform::kHeaderDone;
constexpr uint32_t kDoneAndQueuedFlags = platform::kHeaderDone | platform::kHeaderInQueue;

// Writes the input file and an ALSA configuration defining the test PCMs, and makes alsa-lib read
// it: ALSA_CONFIG_PATH is consulted when the first PCM is opened, after this has run.
class FilePcmEnvironment : public ::testing::Environment {
  public:
    static inline std::filesystem::path dir;
    static inline Bytes input;

    void SetUp() override {
        char pattern[] = "/tmp/alsa_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::mt19937 random(20240601);  // fixed seed: every byte value, no pattern to hide behind
        input.resize(kInputBytes);
        for (std::byte& b : input) b = static_cast<std::byte>(random() & 0xFF);
        std::ofstream(dir / "input.raw", std::ios::binary)
            .write(reinterpret_cast<const char*>(input.data()),
                   static_cast<std::streamsize>(input.size()));
        std::ofstream(dir / "asound.conf")
            << "pcm." << kCapturePcm << " { type file slave.pcm null file \"/dev/null\" infile \""
            << (dir / "input.raw").string() << "\" format raw }\n"
            << "pcm." << kPlaybackPcm << " { type file slave.pcm null file \""
            << (dir / "played.raw").string() << "\" format raw }\n"
            << "pcm." << kMonoOnlyPcm << " { type multi slaves.a.pcm null slaves.a.channels 1 "
            << "bindings.0.slave a bindings.0.channel 0 }\n";
        const std::string path = "/usr/share/alsa/alsa.conf:" + (dir / "asound.conf").string();
        ASSERT_EQ(setenv("ALSA_CONFIG_PATH", path.c_str(), 1), 0);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FilePcmEnvironment);

Bytes inputPart(size_t offset, size_t length) {
    const auto begin = FilePcmEnvironment::input.begin() + static_cast<ptrdiff_t>(offset);
    return Bytes(begin, begin + static_cast<ptrdiff_t>(length));
}

Bytes readPlayed() {
    std::ifstream in(FilePcmEnvironment::dir / "played.raw", std::ios::binary);
    const std::vector<char> chars{std::istreambuf_iterator<char>(in), {}};
    Bytes bytes(chars.size());
    std::transform(chars.begin(), chars.end(), bytes.begin(),
                   [](char c) { return static_cast<std::byte>(c); });
    return bytes;
}

WaveFormat pcmFormat(uint16_t channels, uint16_t bits) {
    WaveFormat f;
    f.channels = channels;
    f.bitsPerSample = bits;
    f.samplesPerSec = 44100;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
    return f;
}

// Records the messages of one stream, and owns the buffers queued to it.
class AlsaFileTest : public ::testing::Test, public platform::MessageTarget {
  protected:
    struct Message {
        uint32_t id;
        uintptr_t stream;
        uintptr_t header;
    };

    AlsaFileTest() : id_(loop_.registerTarget(this)) {}
    ~AlsaFileTest() override {
        stream_.reset();
        loop_.unregisterTarget(id_);
    }
    void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) override {
        messages_.push_back({message, param1, param2});
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
    std::vector<uintptr_t> returned(uint32_t id) const {
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

    platform::alsa::AlsaWaveDriver driver_{kCapturePcm, kPlaybackPcm};
    platform::MessageLoop loop_;
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
    WaveFormat notPcm = pcmFormat(2, 16);
    notPcm.formatTag = 3;
    WaveFormat misaligned = pcmFormat(2, 16);
    misaligned.blockAlign = 2;
    return {
        {"MissingDevice",
         "soundscope_no_such_pcm",
         kMapper,
         pcmFormat(2, 16),
         MMResult::BadDeviceId,
         {"snd_pcm_open(\"soundscope_no_such_pcm\")", "No such file or directory"}},
        {"MissingCardNumber",
         "hw:97",
         kMapper,
         pcmFormat(2, 16),
         MMResult::BadDeviceId,
         {"snd_pcm_open(\"hw:97\")"}},
        {"NumberedDevice",
         kCapturePcm,
         0,
         pcmFormat(2, 16),
         MMResult::BadDeviceId,
         {"device 0", kCapturePcm}},
        {"StereoOnMonoDevice",
         kMonoOnlyPcm,
         kMapper,
         pcmFormat(2, 16),
         MMResult::BadFormat,
         {"snd_pcm_hw_params_set_channels(\"soundscope_mono_only\", 2 channels)",
          "Invalid argument"}},
        {"UnsupportedSampleSize",
         kCapturePcm,
         kMapper,
         pcmFormat(2, 24),
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
    const WaveFormat format = pcmFormat(c.channels, c.bits);
    const uint32_t filled = c.bufferLength / format.blockAlign * format.blockAlign;
    ASSERT_LE(filled * kBuffers, kInputBytes);
    ASSERT_EQ(open(Direction::Capture, format), MMResult::NoError);
    prepare(std::vector<Bytes>(kBuffers, Bytes(c.bufferLength)));
    for (WaveHeader& h : headers_) ASSERT_EQ(stream_->addBuffer(h), MMResult::NoError);
    ASSERT_EQ(stream_->start(), MMResult::NoError);
    ASSERT_TRUE(pumpUntil([&] { return returned(platform::MM_WIM_DATA).size() == kBuffers; }));
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
    EXPECT_EQ(returned(platform::MM_WIM_DATA), expectedOrder);
    EXPECT_EQ(messages_.front().id, platform::MM_WIM_OPEN);
    EXPECT_EQ(messages_.back().id, platform::MM_WIM_CLOSE);
    for (const Message& m : messages_) {
        EXPECT_EQ(m.stream, reinterpret_cast<uintptr_t>(stream_.get()));
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
        ASSERT_EQ(open(Direction::Capture, pcmFormat(2, 16)), MMResult::NoError);
        prepare(std::vector<Bytes>(4, Bytes(4400)));
    }
};

TEST_F(FileCaptureStream, ResetReturnsEveryQueuedBufferInQueueOrder) {
    queue({2, 0, 3});
    EXPECT_EQ(stream_->close(), MMResult::StillPlaying);
    EXPECT_NE(driver_.errorText(Direction::Capture, MMResult::StillPlaying).find("3 buffers"),
              std::string::npos);

    EXPECT_EQ(stream_->reset(), MMResult::NoError);
    // Returned by the time reset() is back: the driver no longer holds them.
    for (size_t i : {2, 0, 3}) {
        EXPECT_EQ(headers_[i].flags & kDoneAndQueuedFlags, kDoneNotQueued);
        EXPECT_EQ(headers_[i].bytesRecorded, 0u);
    }
    EXPECT_EQ(stream_->close(), MMResult::NoError);
    loop_.pump();
    EXPECT_EQ(returned(platform::MM_WIM_DATA),
              (std::vector<uintptr_t>{address(2), address(0), address(3)}));
    EXPECT_EQ(messages_.back().id, platform::MM_WIM_CLOSE);
}

TEST_F(FileCaptureStream, QueueRulesProtectTheBuffers) {
    WaveHeader unprepared = headers_[0];
    unprepared.flags = 0;
    EXPECT_EQ(stream_->addBuffer(unprepared), MMResult::Unprepared);

    queue({1});
    EXPECT_EQ(stream_->unprepareHeader(headers_[1]), MMResult::StillPlaying);
    // A component that rewrote the flags of a queued header must not get it queued twice.
    headers_[1].flags = platform::kHeaderPrepared;
    EXPECT_EQ(stream_->addBuffer(headers_[1]), MMResult::StillPlaying);
    EXPECT_EQ(stream_->unprepareHeader(headers_[1]), MMResult::StillPlaying);

    headers_[2].bufferLength = 3;  // less than one stereo 16-bit frame
    EXPECT_EQ(stream_->addBuffer(headers_[2]), MMResult::InvalidParam);

    EXPECT_EQ(stream_->reset(), MMResult::NoError);
    EXPECT_EQ(stream_->unprepareHeader(headers_[1]), MMResult::NoError);
    EXPECT_EQ(headers_[1].flags & platform::kHeaderPrepared, 0u);
    loop_.pump();
    EXPECT_EQ(returned(platform::MM_WIM_DATA), std::vector<uintptr_t>{address(1)});
}

TEST_F(FileCaptureStream, AudioArrivingWithNothingQueuedIsDroppedAndTheRunGoesOn) {
    ASSERT_EQ(stream_->start(), MMResult::NoError);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // delivered with nowhere to go
    queue({0});
    ASSERT_TRUE(pumpUntil([&] { return returned(platform::MM_WIM_DATA).size() == 1; }));
    EXPECT_EQ(headers_[0].bytesRecorded, headers_[0].bufferLength);
}

TEST_F(FileCaptureStream, StartAfterResetRecordsAgain) {
    ASSERT_EQ(stream_->start(), MMResult::NoError);
    ASSERT_EQ(stream_->reset(), MMResult::NoError);
    queue({0});
    ASSERT_EQ(stream_->start(), MMResult::NoError);
    ASSERT_TRUE(pumpUntil([&] { return returned(platform::MM_WIM_DATA).size() == 1; }));
}

TEST_F(FileCaptureStream, DestroyingAnOpenStreamReturnsItsBuffersAndCloses) {
    queue({0, 1});
    stream_.reset();
    loop_.pump();
    EXPECT_EQ(returned(platform::MM_WIM_DATA), (std::vector<uintptr_t>{address(0), address(1)}));
    EXPECT_EQ(messages_.back().id, platform::MM_WIM_CLOSE);
}

// --- Playback ------------------------------------------------------------------------------------

class FilePlayback : public AlsaFileTest {
  protected:
    // Successive parts of the input; the last ends in half a frame, which cannot be played.
    static constexpr uint32_t kLengths[] = {44100, 4408, 1002};

    void SetUp() override {
        ASSERT_EQ(open(Direction::Playback, pcmFormat(2, 16)), MMResult::NoError);
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
};

TEST_F(FilePlayback, PlayedBuffersLandBitExactInTheOutput) {
    queue({0, 1, 2});
    ASSERT_TRUE(pumpUntil([&] { return returned(platform::MM_WOM_DONE).size() == 3; }));
    EXPECT_EQ(returned(platform::MM_WOM_DONE), all());
    for (const WaveHeader& h : headers_) EXPECT_EQ(h.flags & kDoneAndQueuedFlags, kDoneNotQueued);
    ASSERT_EQ(stream_->close(), MMResult::NoError);
    loop_.pump();
    EXPECT_EQ(messages_.front().id, platform::MM_WOM_OPEN);
    EXPECT_EQ(messages_.back().id, platform::MM_WOM_CLOSE);
    EXPECT_EQ(readPlayed(), wholeFrames());
}

TEST_F(FilePlayback, PauseHoldsQueuedBuffersUntilRestart) {
    ASSERT_EQ(stream_->pause(), MMResult::NoError);
    queue({0, 1, 2});
    EXPECT_FALSE(pumpUntil(
        [&] { return !messages_.empty() && messages_.back().id != platform::MM_WOM_OPEN; },
        std::chrono::milliseconds(200)));
    ASSERT_EQ(stream_->restart(), MMResult::NoError);
    ASSERT_TRUE(pumpUntil([&] { return returned(platform::MM_WOM_DONE).size() == 3; }));
    ASSERT_EQ(stream_->close(), MMResult::NoError);
    EXPECT_EQ(readPlayed(), wholeFrames());
}

TEST_F(FilePlayback, ResetReturnsQueuedBuffersUnplayed) {
    ASSERT_EQ(stream_->pause(), MMResult::NoError);
    queue({0, 1, 2});
    EXPECT_EQ(stream_->close(), MMResult::StillPlaying);
    ASSERT_EQ(stream_->reset(), MMResult::NoError);
    ASSERT_EQ(stream_->close(), MMResult::NoError);
    loop_.pump();
    EXPECT_EQ(returned(platform::MM_WOM_DONE), all());
    EXPECT_TRUE(readPlayed().empty());
}

}  // namespace
