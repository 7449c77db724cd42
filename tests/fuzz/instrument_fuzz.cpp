// Arbitrary capture buffers for the instrument, drawn on the window's screen canvas (Qt's
// offscreen platform unless QT_QPA_PLATFORM says otherwise). An input is
//
//   byte 0      ComboBox1's item (time base), modulo its 9 items
//   byte 1      ScrollBar3's position (time shift), 10 + byte modulo 191, the bar's range
//   bytes 2..5  Size, little-endian, any int32 value
//   the rest    the buffer's bytes, repeated to fill Size bytes (zeros when there are none)
//
// The buffer goes to AudioIn1BufferFilled, then the instrument runs a periodic idle pass, the
// single-shot button's frame (which erases the pass's traces first) and a single-shot idle pass.
// Nothing may crash, hang or reach outside its memory.
#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "instrument/Instrument.h"
#include "platform/MessageLoop.h"
#include "platform/sim/SimCard.h"
#include "window/ScreenCanvas.h"

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr int kTimeBaseItems = 9;
constexpr int kShiftMin = 10, kShiftMax = 200;
// Sizes up to this are backed by a buffer of that many bytes, twice the largest one the
// instrument takes, so that reading past a buffer is caught; larger sizes get the input's bytes.
constexpr int64_t kLargestBackedSize = 4 * instrument::kCaptureBufferBytes;
// The few messages of one input (the capture stream's open) need no more; a ring of the default
// size took a tenth of each input's time to clear.
constexpr size_t kLoopCapacity = 64;

// The front panel of the run: the input's time base and time shift, texts dropped, drawing on the
// screen canvas.
class FuzzPanel final : public instrument::FrontPanel {
  public:
    FuzzPanel(instrument::Canvas& canvas, int timeBaseItem, int shift)
        : canvas_(canvas), shift_(shift) {
        items_[static_cast<size_t>(instrument::Control::ComboBox1)] = timeBaseItem;
    }
    void setText(instrument::Control, std::string_view) override {}
    void setVisible(instrument::Control, bool) override {}
    int itemIndex(instrument::Control c) const override { return items_[static_cast<size_t>(c)]; }
    void setItemIndex(instrument::Control c, int i) override { items_[static_cast<size_t>(c)] = i; }
    void setChecked(instrument::Control, bool) override {}
    int position(instrument::Control) const override { return shift_; }
    void setMinimum(instrument::Control, int) override {}
    void setMaximum(instrument::Control, int) override {}
    void setPosition(instrument::Control, int) override {}
    void setLargeChange(instrument::Control, int) override {}
    void setSmallChange(instrument::Control, int) override {}
    void repaintWindow() override {}
    instrument::Canvas& canvas() override { return canvas_; }

  private:
    instrument::Canvas& canvas_;
    int shift_;
    std::array<int, instrument::kControlCount> items_{};
};

// The application and the canvas, made once: rendering the glyph cache is slow.
window::ScreenCanvas& screen() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "instrument_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    static window::ScreenCanvas canvas;
    return canvas;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    window::ScreenCanvas& canvas = screen();
    if (size < kHeaderBytes) return 0;
    const std::span<const uint8_t> input(data, size);
    const int timeBaseItem = input[0] % kTimeBaseItems;
    const int shift = kShiftMin + input[1] % (kShiftMax - kShiftMin + 1);
    const auto size32 = static_cast<int32_t>(
        static_cast<uint32_t>(input[2]) | static_cast<uint32_t>(input[3]) << 8 |
        static_cast<uint32_t>(input[4]) << 16 | static_cast<uint32_t>(input[5]) << 24);
    const std::span<const uint8_t> payload = input.subspan(kHeaderBytes);

    const size_t backed =
        size32 >= 0 && size32 <= kLargestBackedSize ? static_cast<size_t>(size32) : payload.size();
    std::vector<std::byte> buffer(backed);
    for (size_t i = 0; i < backed && !payload.empty(); ++i)
        buffer[i] = static_cast<std::byte>(payload[i % payload.size()]);

    platform::MessageLoop loop(kLoopCapacity);
    platform::sim::SimCard card;
    FuzzPanel panel(canvas, timeBaseItem, shift);
    instrument::Instrument scope{panel, card, loop};
    canvas.clear();
    scope.ComboBox1Click();
    scope.readChannelShift();

    int32_t bufferSize = size32;
    scope.AudioIn1BufferFilled(buffer.data(), bufferSize);
    bool done = false;
    scope.MyIdleEvent(done);
    scope.RadioButton2Click();
    scope.MyIdleEvent(done);
    return 0;
}
