// AlsaMixerDriver: the mixer service on one ALSA control device ("hw:1", "default", "pulse", ...),
// which is mixer device 0 when it can be opened and has a simple element (no device otherwise).
// Its open devices are AlsaMixerDevice (tree: AlsaMixerTree); the device volume service reads and
// writes the playback levels of the PCM (wave output) and the CD, Line, Mic, Aux and Video
// elements (auxiliary devices 1..5).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ErrorLog.h"
#include "platform/MixerDriver.h"
#include "platform/alsa/AlsaMixerHandle.h"

namespace platform::alsa {

class AlsaMixerDriver final : public MixerDriver {
  public:
    // Opens the mixer once to see whether it is there; a failure is the detail of BadDeviceId.
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
    std::string errorText(MMResult result) const override;

    const std::string& deviceName() const { return device_; }

  private:
    MMResult checkId(uint32_t mixerId, const char* call) const;
    // The volume device's element (0: PCM; 1..5: CD, Line, Mic, Aux, Video) with its values fresh.
    Status volumeElement(uint32_t volumeDevice, snd_mixer_elem_t*& elem);
    MMResult volume(uint32_t volumeDevice, uint32_t& volume);
    MMResult setVolume(uint32_t volumeDevice, uint32_t volume);

    const std::string device_;
    const std::shared_ptr<ErrorLog> errors_;  // shared with the open devices
    AlsaMixerHandle mixer_;                   // the volume service's; UI thread
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
