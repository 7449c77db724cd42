// The ALSA mixer backend end to end through a real sound server: run by tools/with-pulse.sh, which
// makes ALSA's `default` control device a private PulseAudio (its `pulse` plugin: Master and
// Capture). The driver finds it, a level written through it reaches the server's sink, and a change
// made by another program (pactl) comes back as a change message.

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/MixerDriver.h"
#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/alsa/AlsaMixerValues.h"

namespace {

using namespace platform;

constexpr long kPulseVolumeMax = 65536;  // the plugin's range: PulseAudio's 100%

class Changes : public MessageTarget {
  public:
    void handleMessage(uint32_t id, uintptr_t, uintptr_t param2) override {
        if (id == messageId(MixerMessage::ControlChange)) controls.push_back(param2);
    }
    std::vector<uintptr_t> controls;
};

bool pumpUntil(MessageLoop& loop, Changes& changes, uint32_t controlId) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        loop.pump();
        for (uintptr_t id : changes.controls) {
            if (id == controlId) return true;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        pollfd fd{loop.wakeFd(), POLLIN, 0};
        ::poll(&fd, 1, 20);
    }
}

// The default sink's left volume as pactl reports it ("Volume: front-left: 32768 / 50% / ...").
long sinkVolume() {
    const std::unique_ptr<FILE, int (*)(FILE*)> out(
        popen("pactl get-sink-volume @DEFAULT_SINK@", "r"), pclose);
    if (!out) return -1;
    std::array<char, 512> text{};
    const size_t n = std::fread(text.data(), 1, text.size() - 1, out.get());
    const std::string s(text.data(), n);
    const size_t at = s.find("front-left:");
    return at == std::string::npos ? -1 : std::strtol(s.c_str() + at + 11, nullptr, 10);
}

TEST(PulseMixer, FoundWrittenAndHearsAnotherProgram) {
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
        << "run through tools/with-pulse.sh (CTest test pulse_mixer_e2e)";
    // Without a kernel card, nothing but `default` is left to choose.
    int card = -1;
    if (snd_card_next(&card) == 0 && card < 0) {
        EXPECT_EQ(alsa::mixerDeviceFor("default"), "default");
    }

    alsa::AlsaMixerDriver driver("default");
    ASSERT_EQ(driver.deviceCount(), 1u) << driver.errorText(MMResult::BadDeviceId);
    MixerCaps caps;
    ASSERT_EQ(driver.capabilities(0, caps), MMResult::NoError);
    EXPECT_EQ(caps.productName, "PulseAudio");

    MessageLoop loop;
    Changes changes;
    const TargetId notify = loop.registerTarget(&changes);
    std::unique_ptr<MixerDevice> device;
    ASSERT_EQ(driver.open(0, loop, notify, device), MMResult::NoError)
        << driver.errorText(MMResult::Error);
    MixerLine speakers;
    ASSERT_EQ(device->lineInfo(0, -1, speakers), MMResult::NoError);
    EXPECT_EQ(speakers.componentType, component::kDstSpeakers);
    std::vector<MixerControl> controls;
    ASSERT_EQ(device->lineControls(speakers.lineId, speakers.controls, controls),
              MMResult::NoError);
    ASSERT_GE(controls.size(), 1u);
    ASSERT_EQ(controls[0].type, control::kVolume);
    const uint32_t level = controls[0].controlId;

    // A write reaches the server.
    std::vector<int32_t> values{16384, 16384};
    ASSERT_EQ(device->setDetails({level, 2, 0, values}), MMResult::NoError)
        << driver.errorText(MMResult::Error);
    EXPECT_EQ(sinkVolume(), alsa::rawFromLevel(16384, 0, kPulseVolumeMax));
    ASSERT_TRUE(pumpUntil(loop, changes, level)) << "our own write was not heard of";

    // Another program's change is heard of, and read.
    changes.controls.clear();
    ASSERT_EQ(std::system("pactl set-sink-volume @DEFAULT_SINK@ 50%"), 0);
    ASSERT_TRUE(pumpUntil(loop, changes, level)) << "no change message for the speakers' level";
    ASSERT_EQ(device->getDetails({level, 2, 0, values}), MMResult::NoError);
    const int32_t half = alsa::levelFromRaw(kPulseVolumeMax / 2, 0, kPulseVolumeMax);
    EXPECT_EQ(values, (std::vector<int32_t>{half, half}));

    device.reset();
    loop.unregisterTarget(notify);
}

}  // namespace
