// The ALSA mixer backend end to end through a real sound server: run by tools/with-pulse.sh, which
// makes ALSA's `default` control device a private PulseAudio (its `pulse` plugin: Master and
// Capture). The driver finds it, a level written through it reaches the server's sink, and a change
// made by another program (pactl) comes back as a change message.

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/MixerDriver.h"
#include "platform/alsa/AlsaMixerDriver.h"
#include "platform/alsa/AlsaMixerThread.h"
#include "platform/alsa/AlsaMixerValues.h"
#include "support/ServerVolume.h"

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

long sinkVolume() {
    return testing_support::serverVolume(testing_support::ServerStream::Sink);
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

// The PID of the private server (tools/with-pulse.sh), which SIGSTOP freezes as a hung server.
pid_t serverPid() {
    const char* file = std::getenv("WITH_PULSE_PID_FILE");
    if (file == nullptr) return -1;
    std::FILE* f = std::fopen(file, "r");
    if (f == nullptr) return -1;
    long pid = -1;
    if (std::fscanf(f, "%ld", &pid) != 1) pid = -1;
    std::fclose(f);
    return static_cast<pid_t>(pid);
}

// Stops the server for as long as it lives.
class FrozenServer {
  public:
    explicit FrozenServer(pid_t pid) : pid_(pid) { EXPECT_EQ(::kill(pid_, SIGSTOP), 0); }
    ~FrozenServer() { thaw(); }
    void thaw() {
        if (pid_ > 0) ::kill(std::exchange(pid_, -1), SIGCONT);
    }

  private:
    pid_t pid_;
};

template <typename Call>
std::chrono::milliseconds timed(Call call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}

// A call may wait the mixer's answer time and no more; scheduling on a busy machine adds a little.
constexpr std::chrono::milliseconds kBound =
    alsa::kMixerAnswerTime + std::chrono::milliseconds(150);

TEST(PulseMixer, AStoppedServerFailsEveryCallInTimeAndIsUsableWhenItGoesOn) {
    const pid_t pid = serverPid();
    ASSERT_GT(pid, 0) << "run through tools/with-pulse.sh (CTest test pulse_mixer_e2e)";
    MessageLoop loop;
    Changes changes;
    const TargetId notify = loop.registerTarget(&changes);
    auto driver = std::make_unique<alsa::AlsaMixerDriver>("default");
    std::unique_ptr<MixerDevice> device;
    ASSERT_EQ(driver->open(0, loop, notify, device), MMResult::NoError);
    MixerLine speakers;
    ASSERT_EQ(device->lineInfo(0, -1, speakers), MMResult::NoError);
    std::vector<MixerControl> controls;
    ASSERT_EQ(device->lineControls(speakers.lineId, speakers.controls, controls),
              MMResult::NoError);
    const uint32_t level = controls.at(0).controlId;
    std::vector<int32_t> values{40000, 40000};

    FrozenServer frozen(pid);
    // A write waits for the server's answer, which does not come.
    MMResult result = MMResult::NoError;
    EXPECT_LE(timed([&] { result = device->setDetails({level, 2, 0, values}); }), kBound);
    EXPECT_EQ(result, MMResult::Error);
    EXPECT_NE(driver->errorText(MMResult::Error).find("does not answer"), std::string::npos)
        << driver->errorText(MMResult::Error);
    // Later calls fail at once while that one is still running.
    EXPECT_LE(timed([&] {
                  result = device->getDetails({level, 2, 0, values});
              }),
              std::chrono::milliseconds(50));
    EXPECT_EQ(result, MMResult::Error);
    // A mixer opened now is no device; its volume service fails in time too.
    std::unique_ptr<alsa::AlsaMixerDriver> late;
    EXPECT_LE(timed([&] { late = std::make_unique<alsa::AlsaMixerDriver>("default"); }), kBound);
    EXPECT_EQ(late->deviceCount(), 0u);
    EXPECT_NE(late->errorText(MMResult::BadDeviceId).find("does not answer"), std::string::npos)
        << late->errorText(MMResult::BadDeviceId);
    uint32_t volume = 0;
    EXPECT_LE(timed([&] { driver->waveOutVolume(volume); }), kBound);
    // Letting go of devices whose threads are stuck inside alsa-lib does not wait for them.
    EXPECT_LE(timed([&] { device.reset(); }), kBound);
    EXPECT_LE(timed([&] { late.reset(); }), kBound);

    frozen.thaw();
    // Once the server goes on, a mixer opens and writes again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    alsa::AlsaMixerDriver again("default");
    ASSERT_EQ(again.deviceCount(), 1u) << again.errorText(MMResult::BadDeviceId);
    ASSERT_EQ(again.open(0, loop, notify, device), MMResult::NoError);
    while (device->setDetails({level, 2, 0, values}) != MMResult::NoError &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(sinkVolume(), alsa::rawFromLevel(40000, 0, kPulseVolumeMax));
    device.reset();
    loop.unregisterTarget(notify);
}

}  // namespace
