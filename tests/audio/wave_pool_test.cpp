// TWaveIO: property coercions and the format record, the buffer pool and its allocation failures,
// the driver texts and the failure in its parts, and the rule for buffers of an earlier run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "platform/MessageLoop.h"
#include "platform/PoolMemory.h"
#include "platform/sim/SimCard.h"
#include "wave_test_support.h"

namespace {

using audio::TAudioIn;
using platform::Direction;
using platform::sim::SimCard;
using namespace wave_test;

// --- Coercions and format arithmetic ------------------------------------------------------------

struct Writes {  // applied in the order a stored configuration is
    std::optional<int32_t> size = {}, buffers = {}, rate = {};
    std::optional<bool> stereo = {};
    std::optional<audio::Word> bits = {};
};

struct FormatCase {
    const char* name;
    Writes writes;
    int32_t requested, effective, buffers;
    uint16_t bits, channels, block;
    uint32_t rate, bytesPerSec;
};

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, WritesAreCoercedAndTheFormatFollows) {
    const FormatCase& c = GetParam();
    platform::MessageLoop loop;
    SimCard card;
    TAudioIn in(card, loop);
    const Writes& w = c.writes;
    if (w.size) in.setBufferSize(*w.size);
    if (w.buffers) in.setNumBuffers(*w.buffers);
    if (w.rate) in.setFrameRate(*w.rate);
    if (w.stereo) in.setStereo(*w.stereo);
    if (w.bits) in.setQuantization(*w.bits);

    const platform::WaveFormat& f = in.format();
    EXPECT_EQ(in.RequestedBufferSize(), c.requested);
    EXPECT_EQ(in.BufferSize(), c.effective);
    EXPECT_EQ(in.NumBuffers(), c.buffers);
    EXPECT_EQ(in.Quantization(), c.bits);
    EXPECT_EQ(in.Stereo(), c.channels == 2);
    EXPECT_EQ(std::tuple(f.formatTag, f.channels, f.bitsPerSample, f.blockAlign, f.extraSize),
              std::tuple(platform::kFormatPcm, c.channels, c.bits, c.block, uint16_t{0}));
    EXPECT_EQ(f.samplesPerSec, c.rate);
    EXPECT_EQ(f.avgBytesPerSec, c.bytesPerSec);
}

constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
constexpr uint32_t kMaxWord32 = std::numeric_limits<uint32_t>::max();

// name, writes, requested, effective, buffers, bits, channels, block, rate, bytes/s
INSTANTIATE_TEST_SUITE_P(
    Writes, FormatTest,
    ::testing::Values(
        FormatCase{"Defaults", {}, 8192, 8192, 4, 16, 1, 2, 22050, 44100},
        FormatCase{"MainWindowCapture",
                   {.size = 44100, .rate = 44100, .stereo = true},
                   44100,
                   44100,
                   4,
                   16,
                   2,
                   4,
                   44100,
                   176400},
        FormatCase{"MainWindowPlayback",
                   {.size = 22000, .rate = 44100},
                   22000,
                   22000,
                   4,
                   16,
                   1,
                   2,
                   44100,
                   88200},
        FormatCase{
            "SizeFlooredAt512", {.size = 100, .stereo = true}, 512, 512, 4, 16, 2, 4, 22050, 88200},
        FormatCase{"MonoRoundsToFrames", {.size = 22001}, 22001, 22000, 4, 16, 1, 2, 22050, 44100},
        FormatCase{"EightBitMonoKeepsEveryByte",
                   {.size = 22001, .bits = 8},
                   22001,
                   22001,
                   4,
                   8,
                   1,
                   1,
                   22050,
                   22050},
        FormatCase{"StereoRoundsToFour",
                   {.size = 22003, .stereo = true},
                   22003,
                   22000,
                   4,
                   16,
                   2,
                   4,
                   22050,
                   88200},
        FormatCase{"OneBufferBecomesTwo", {.buffers = 1}, 8192, 8192, 2, 16, 1, 2, 22050, 44100},
        FormatCase{"NineBuffersBecomeFour", {.buffers = 9}, 8192, 8192, 4, 16, 1, 2, 22050, 44100},
        FormatCase{"ZeroBitsBecomeEight", {.bits = 0}, 8192, 8192, 4, 8, 1, 1, 22050, 22050},
        FormatCase{"TwelveBitsBecomeSixteen", {.bits = 12}, 8192, 8192, 4, 16, 1, 2, 22050, 44100},
        FormatCase{"NegativeRateGoesOutAsZero", {.rate = -44100}, 8192, 8192, 4, 16, 1, 2, 0, 0},
        FormatCase{"HugeRateSaturates",
                   {.rate = kMaxInt, .stereo = true},
                   8192,
                   8192,
                   4,
                   16,
                   2,
                   4,
                   uint32_t{kMaxInt},
                   kMaxWord32}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Transfers stay inside their buffers --------------------------------------------------------

TEST(WritePoolTest, NoWriteOrderLetsATransferExceedItsAllocation) {
    // From two buffers at 16-bit mono: in some orders the odd size is written at a block of 2 or 4
    // and the effective size then grows to 22001 at 8-bit mono; the buffer count rises.
    const std::array<std::function<void(TAudioIn&)>, 5> writes = {
        [](TAudioIn& in) { in.setBufferSize(22001); }, [](TAudioIn& in) { in.setQuantization(8); },
        [](TAudioIn& in) { in.setStereo(true); },      [](TAudioIn& in) { in.setNumBuffers(4); },
        [](TAudioIn& in) { in.setStereo(false); },
    };
    std::array<int, 5> order = {0, 1, 2, 3, 4};
    platform::MessageLoop loop;
    SimCard card;
    do {
        SCOPED_TRACE(::testing::PrintToString(order));
        TAudioIn in(card, loop);
        in.setFrameRate(44100);
        in.setNumBuffers(2);
        for (int w : order) writes[static_cast<size_t>(w)](in);
        ASSERT_TRUE(in.StartDevice()) << in.LastErrorText();
        for (int i = 0; i < in.NumBuffers(); ++i) {
            ASSERT_NE(in.bufferAt(i), nullptr) << "slot " << i;
            EXPECT_EQ(in.headerAt(i)->data, in.bufferAt(i));
            EXPECT_EQ(in.headerAt(i)->bufferLength, static_cast<uint32_t>(in.BufferSize()));
            EXPECT_LE(static_cast<size_t>(in.BufferSize()), in.bufferCapacity(i)) << "slot " << i;
        }
        for (int pass = 0; pass < 2; ++pass) {  // the card writes whole buffers (ASan watches)
            card.completeBuffers(in.NumBuffers());
            loop.pump();
        }
        EXPECT_EQ(in.DoneCount(), 2 * in.NumBuffers());
    } while (std::next_permutation(order.begin(), order.end()));
}

// --- Allocation failures ------------------------------------------------------------------------

// Heap memory that fails the n-th allocation or lock after arming, counting what is still held.
class FailingMemory final : public platform::PoolMemory {
  public:
    void arm(int allocateAt, int lockAt) {
        allocations_ = locks_ = 0;
        failAllocateAt_ = allocateAt;
        failLockAt_ = lockAt;
    }
    platform::MemoryBlock allocate(size_t size, bool zeroed) noexcept override {
        if (++allocations_ == failAllocateAt_) return {};
        ++live;
        return platform::heapMemory().allocate(size, zeroed);
    }
    std::byte* lock(const platform::MemoryBlock& block) noexcept override {
        if (++locks_ == failLockAt_) return nullptr;
        ++locked;
        return platform::heapMemory().lock(block);
    }
    void unlock(const platform::MemoryBlock& block) noexcept override {
        --locked;
        platform::heapMemory().unlock(block);
    }
    void release(platform::MemoryBlock& block) noexcept override {
        --live;
        platform::heapMemory().release(block);
    }
    int live = 0, locked = 0;

  private:
    int allocations_ = 0, locks_ = 0, failAllocateAt_ = 0, failLockAt_ = 0;
};

struct AllocFailure {
    const char* name;
    bool onResize;           // armed before a BufferSize write, else before construction
    int allocateAt, lockAt;  // 1-based from arming; 0: never
    const char* text;
    bool headersKept;  // a buffer failure keeps the headers, a header failure the buffers
};

class AllocFailureTest : public ::testing::TestWithParam<AllocFailure> {};

TEST_P(AllocFailureTest, PartialPoolIsReleasedAndOpenIsRefused) {
    const AllocFailure& c = GetParam();
    platform::MessageLoop loop;
    SimCard card;
    CountingDriver driver(card);
    FailingMemory memory;
    if (!c.onResize) memory.arm(c.allocateAt, c.lockAt);
    {
        TAudioIn in(driver, loop, memory);
        if (c.onResize) {
            memory.arm(c.allocateAt, c.lockAt);
            EXPECT_FALSE(in.setBufferSize(44100));
        }
        EXPECT_EQ(in.LastErrorText(), c.text);
        for (int i = 0; i < audio::kPoolSlots; ++i) {
            EXPECT_EQ(in.headerAt(i) != nullptr, c.headersKept) << "header " << i;
            EXPECT_EQ(in.bufferAt(i) != nullptr, !c.headersKept) << "buffer " << i;
        }
        EXPECT_EQ(memory.live, audio::kPoolSlots);
        EXPECT_EQ(memory.locked, audio::kPoolSlots);

        EXPECT_FALSE(in.StartDevice());
        EXPECT_EQ(in.LastErrorText(), c.headersKept ? "Wave buffer memory is not allocated"
                                                    : "Wave header memory is not allocated");
        EXPECT_EQ(driver.opens, 0);
        EXPECT_EQ(loop.targetCount(), 0u);
    }
    EXPECT_EQ(memory.live, 0);
    EXPECT_EQ(memory.locked, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, AllocFailureTest,
    ::testing::Values(
        AllocFailure{"FirstHeader", false, 1, 0, "Error allocating wave header memory", false},
        AllocFailure{"LastHeader", false, 4, 0, "Error allocating wave header memory", false},
        AllocFailure{"HeaderLock", false, 0, 2, "Could not lock header memory for recording",
                     false},
        AllocFailure{"FirstBuffer", false, 5, 0, "Error allocating wave buffer memory", true},
        AllocFailure{"LastBufferLock", false, 0, 8, "Error Locking wave buffer memory", true},
        AllocFailure{"ResizeThirdBuffer", true, 3, 0, "Error allocating wave buffer memory", true},
        AllocFailure{"ResizeFirstLock", true, 0, 1, "Error Locking wave buffer memory", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PoolTest, FreeBuffersTellsWhetherAnythingWasReleased) {
    platform::MessageLoop loop;
    SimCard card;
    TAudioIn in(card, loop);
    EXPECT_TRUE(in.FreeBuffers());
    EXPECT_FALSE(in.FreeBuffers());
    EXPECT_EQ(in.headerAt(0)->data, nullptr);
    ASSERT_TRUE(in.AllocBuffers());
    EXPECT_EQ(in.headerAt(3)->data, in.bufferAt(3));
}

// A capture component on a busy card, whose driver gives the reason a test sets.
class DriverTextTest : public ::testing::Test {
  protected:
    DriverTextTest() {
        card.setBusy(Direction::Capture, true);
        configureLikeAudioIn1(in);
    }
    platform::MessageLoop loop;
    SimCard card;
    CountingDriver driver{card};
    TAudioIn in{driver, loop};
};

TEST_F(DriverTextTest, DriverTextEndsAtItsZeroOrAfter255Characters) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string(300, 'x'), std::string(255, 'x')},
        {std::string(255, 'y'), std::string(255, 'y')},
        {std::string("busy\0later", 10), "busy"},
    };
    for (const auto& [given, expected] : cases) {
        driver.text = given;
        EXPECT_FALSE(in.StartDevice());
        EXPECT_EQ(in.LastErrorText(), expected);
        EXPECT_EQ(in.lastError().text(), expected);
    }
}

// LastErrorText is the driver's text cut as ever; the reason beside it keeps the driver's parts
// whole, and a failure of the component's own has no driver reason.
TEST_F(DriverTextTest, TheFailureIsKeptInItsPartsBesideTheText) {
    driver.text = "The device is in use.";
    driver.detail = std::string(300, 'd');
    EXPECT_FALSE(in.StartDevice());
    const audio::WaveError& failure = in.lastError();
    EXPECT_EQ(failure.context, "");
    EXPECT_EQ(failure.reason.code, platform::MMResult::Allocated);
    EXPECT_EQ(failure.reason.standard, driver.text);
    EXPECT_EQ(failure.reason.detail, driver.detail);
    EXPECT_EQ(in.LastErrorText(), (driver.text + " (" + driver.detail).substr(0, 255));

    card.setBusy(Direction::Capture, false);
    ASSERT_TRUE(in.StartDevice());
    EXPECT_FALSE(in.StartDevice());
    EXPECT_EQ(in.lastError().context, "Wave Input device is already open");
    EXPECT_EQ(in.lastError().reason.code, platform::MMResult::NoError);
    EXPECT_EQ(in.LastErrorText(), "Wave Input device is already open");
}

// A run whose open message the full message loop dropped fails; the runs after it count their
// buffers as ever, in both directions: which buffers belong to an earlier run does not hang on
// every message arriving.
template <typename Component>
void expectALostOpenToCostOnlyItsRun(std::function<void(Component&)> acceptEveryBuffer) {
    platform::MessageLoop loop(8);
    SimCard card;
    card.setSource(makeTestSignal());
    auto component = std::make_unique<Component>(card, loop);
    component->setFrameRate(44100);
    component->setBufferSize(512);  // 256 mono frames
    acceptEveryBuffer(*component);
    while (loop.post(platform::kNoTarget, 0)) {
    }
    EXPECT_FALSE(component->StartDevice(&component));
    EXPECT_TRUE(component->deviceFailed()) << component->LastErrorText();
    loop.pump();
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(component->StartDevice(&component)) << component->LastErrorText();
        loop.pump();
        card.advance(2 * 256);
        loop.pump();
        EXPECT_EQ(component->DoneCount(), 2);
        component->StopNow();
        loop.pump();
    }
}

TEST(StaleBufferTest, ALostOpenMessageCostsOnlyItsOwnRun) {
    {
        SCOPED_TRACE("capture");
        expectALostOpenToCostOnlyItsRun<TAudioIn>(
            [](TAudioIn& in) { in.OnBufferFilled = [](std::byte*, int32_t&) { return true; }; });
    }
    {
        SCOPED_TRACE("playback");
        expectALostOpenToCostOnlyItsRun<audio::TAudioOut>([](audio::TAudioOut& out) {
            out.OnFillBuffer = [](std::byte*, int32_t&) { return true; };
        });
    }
}

}  // namespace
