// A simulated mixer: mixer devices whose line trees a test shapes (which destinations, in which
// order, which sources and controls), with the device volume service. Change messages are posted
// for every write through an open device and for every change a test makes "from outside".
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MixerDriver.h"

namespace platform::sim {

struct SimControl {
    uint32_t type = control::kVolume;
    uint32_t flags = 0;  // kControl*
    uint32_t items = 0;  // with kControlMultiple
    int32_t minimum = 0;
    int32_t maximum = 65535;
    uint32_t steps = 0;
    std::string shortName, name;
    std::vector<std::string> itemNames;
    // channels (1 when uniform) x max(items, 1) words, channel-major; empty: all zero.
    std::vector<int32_t> values;
};

struct SimLine {
    uint32_t componentType = component::kSrcUndefined;
    uint32_t channels = 2;
    uint32_t flags = 0;  // kLineActive, kLineDisconnected; kLineSource is set for sources
    std::string shortName, name;
    std::vector<SimControl> controls;
};

struct SimDestination {
    SimLine line;
    std::vector<SimLine> sources;
};

struct SimMixerTree {
    std::string productName = "Simulated Mixer";
    std::vector<SimDestination> destinations;
};

// Calls of the mixer service that a test can make fail once.
enum class MixerCall { Capabilities, Open, LineInfo, LineControls, GetDetails, SetDetails, Volume };

class SimMixer final : public MixerDriver {
  public:
    // A card as most are: destination 0 the speakers (level and mute; sources wave output, line,
    // microphone and CD, each with level and mute), destination 1 the recording input (level and a
    // MUX of its sources; sources line, microphone, CD, each with a level). Every volume device
    // present, at 0x80008000.
    static SimMixerTree typicalCard();

    explicit SimMixer(std::vector<SimMixerTree> devices = {typicalCard()});
    ~SimMixer() override;
    SimMixer(const SimMixer&) = delete;
    SimMixer& operator=(const SimMixer&) = delete;

    // Identifiers, as lineInfo and lineControls give them. `source` < 0: the destination itself.
    uint32_t lineId(uint32_t mixerId, uint32_t destination, int32_t source) const;
    uint32_t controlId(uint32_t mixerId, uint32_t destination, int32_t source,
                       uint32_t index) const;
    // The values a control holds now (channel-major, as in ControlDetails).
    std::vector<int32_t> values(uint32_t mixerId, uint32_t controlId) const;
    // Writes made through open devices since the mixer was made.
    int writes() const;

    // As another program would: sets the values and posts a control change to every open device
    // of that mixer.
    void changeValues(uint32_t mixerId, uint32_t controlId, std::vector<int32_t> values);
    // As the hardware would: sets a line's flags and posts a line change.
    void changeLine(uint32_t mixerId, uint32_t lineId, uint32_t flags);

    // Device volumes: index 0 wave output, 1..5 the auxiliary devices; nullopt: absent.
    void setVolumeDevice(uint32_t device, std::optional<uint32_t> volume);
    std::optional<uint32_t> volumeDevice(uint32_t device) const;

    // The next call of this kind fails with `result`, once.
    void failNext(MixerCall call, MMResult result);

    uint32_t deviceCount() const override;
    MMResult capabilities(uint32_t mixerId, MixerCaps& caps) const override;
    MMResult open(uint32_t mixerId, MessageLoop& loop, TargetId notify,
                  std::unique_ptr<MixerDevice>& device) override;
    MMResult waveOutVolume(uint32_t& volume) override;
    MMResult setWaveOutVolume(uint32_t volume) override;
    MMResult auxVolume(uint32_t auxId, uint32_t& volume) override;
    MMResult setAuxVolume(uint32_t auxId, uint32_t volume) override;
    ErrorReason errorReason(MMResult result) const override;
    std::string deviceName() const override { return "simulated mixer"; }

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;  // shared with the open devices, which may outlive the mixer
};

}  // namespace platform::sim
