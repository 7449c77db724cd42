// AlsaMixerDriver: the mixer service on one ALSA control device ("hw:1", "default", "pulse", ...),
// which is mixer device 0 when it can be opened and has a simple element (no device otherwise).
// Its open devices are AlsaMixerDevice (tree: AlsaMixerTree); the device volume service reads and
// writes the playback levels of the PCM (wave output) and the CD, Line, Mic, Aux and Video
// elements (auxiliary devices 1..5) on a mixer of the driver's own, on a thread of its own
// (AlsaMixerThread): the constructor and each volume call wait at most kMixerAnswerTime, so a
// control device that does not answer (a stopped sound server) is no device, or fails the call.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ErrorLog.h"
#include "platform/MixerDriver.h"
#include "platform/alsa/AlsaMixerThread.h"

namespace platform::alsa {

class AlsaMixerDriver final : public MixerDriver {
  public:
    // Opens the mixer to see whether it is there, and keeps it for the volume service; a failure
    // is the detail of BadDeviceId.
    explicit AlsaMixerDriver(std::string device = "default");
    ~AlsaMixerDriver() override;
    AlsaMixerDriver(const AlsaMixerDriver&) = delete;
    AlsaMixerDriver& operator=(const AlsaMixerDriver&) = delete;

    uint32_t deviceCount() const override;
    MMResult capabilities(uint32_t mixerId, MixerCaps& caps) const override;
    MMResult open(uint32_t mixerId, MessageLoop& loop, TargetId notify,
                  std::unique_ptr<MixerDevice>& device) override;

    MMResult waveOutVolume(uint32_t& volume) override;
    MMResult setWaveOutVolume(uint32_t volume) override;
    MMResult auxVolume(uint32_t auxId, uint32_t& volume) override;
    MMResult setAuxVolume(uint32_t auxId, uint32_t volume) override;

    // The standard text of `result` and the detail of this driver's or its devices' latest
    // failure with it. Any thread.
    ErrorReason errorReason(MMResult result) const override;

    std::string deviceName() const override { return device_; }

  private:
    MMResult checkId(uint32_t mixerId, const char* call) const;
    // Volume device 0 (PCM) or 1..5 (CD, Line, Mic, Aux, Video).
    MMResult volume(uint32_t volumeDevice, uint32_t& volume);
    // Runs `access` (ElementResult(snd_mixer_elem_t*)) on the volume device's element on the
    // mixer's thread, with alsa-lib's copy of its values fresh.
    template <typename Access>
    Status runOnVolume(uint32_t volumeDevice, Access access);
    MMResult setVolume(uint32_t volumeDevice, uint32_t volume);

    const std::string device_;
    const std::shared_ptr<ErrorLog> errors_;  // shared with the open devices
    std::unique_ptr<AlsaMixerThread> mixer_;  // the volume service's mixer
    std::string absence_;                     // without a device: why (the open's detail)
    std::string productName_;
};

// The control device of the card a PCM name points at: "hw:1", "plughw:1,0" -> "hw:1";
// "hw:CARD=Intel", "plughw:CARD=Intel,DEV=0" -> "hw:CARD=Intel"; nothing for a name that does not
// name a card ("default", "pulse", a name of the configuration).
std::optional<std::string> cardControlName(std::string_view pcm);

// The mixer for a capture device: the card it names; else the first card (snd_card_next) whose
// mixer has an element that captures; else "default".
std::string mixerDeviceFor(const std::string& captureDevice);

}  // namespace platform::alsa
