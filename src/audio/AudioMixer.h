// TAudioMixer, the mixer component: it opens one mixer device of the machine, mirrors its tree of
// lines (destinations and their sources) and their controls, recognises the lines the program
// works with (the recording destination, LINE IN on the playback and on the recording side, ...),
// writes control values and keeps the mirror current as change messages arrive. TMixerMan is its
// notification target on the message loop.
//
// UI thread only. Only Open and SetMixerID throw, and only the three exceptions below; a driver
// call that fails leaves the line or control it was for not Valid.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/MessageLoop.h"
#include "platform/MixerDriver.h"

namespace audio {

class EMixerID : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
class EMixerCaps : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
class EMixerOpen : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The source index the change events give for a destination's own line or control.
inline constexpr uint32_t kDestinationItself = 0xFFFFFFFF;
// LineID and ControlID until the device has described the line or control: negative as a signed
// 32-bit word, so no change message ever names it.
inline constexpr uint32_t kNoMixerID = 0xFFFFFFFF;

class TAudioControl;
class TAudioMixer;

// One value of a control: the control's only value, or one item of a multiple-item control (Left
// its value on the first channel, Right on the second). Setting Left or Right stores it and writes
// the control.
class TVolume {
  public:
    int32_t Index = 0;
    int32_t Left = 0;
    int32_t Right = 0;
    TAudioControl* Control = nullptr;

    void SetLeft(int32_t value) noexcept;
    void SetRight(int32_t value) noexcept;
};

class TAudioControl {
  public:
    TAudioControl(uint32_t channels, platform::MixerDevice* mixerHandle) noexcept
        : Channels(channels), MixerHandle(mixerHandle) {}
    TAudioControl(const TAudioControl&) = delete;  // its values point back at it
    TAudioControl& operator=(const TAudioControl&) = delete;

    bool Valid = false;
    uint32_t ControlID = kNoMixerID;
    uint32_t ControlType = 0;
    bool Disabled = false;
    bool Multiple = false;
    bool Uniform = false;
    uint32_t ItemCount = 0;
    int32_t Minimum = 0;
    int32_t Maximum = 0;
    uint32_t Steps = 0;
    std::string ShortName;
    std::string Name;
    std::vector<TVolume> Values;  // one per item of a multiple-item control, else one
    uint32_t Channels;            // the owning line's channel count when the control was made
    platform::MixerDevice* MixerHandle;

    // Writes the control: item ItemIndex (or the only value) from Volume, the other items from
    // the cache, or 0 for the unchosen items of a selector. A failure leaves the control not
    // Valid.
    void ApplyValue(int32_t ItemIndex, TVolume& Volume) noexcept;

  private:
    friend class TAudioMixer;
    // Re-reads the values from the device; lineChannels is the owning line's channel count now.
    void readValues(uint32_t lineChannels) noexcept;
    // Takes the description the device gave; the values start at 0.
    void describe(const platform::MixerControl& control);
    // Channels a request names: 1 for a uniform control, 0 for a custom one, else the line's.
    uint32_t channelsInEffect(uint32_t lineChannels) const noexcept;
};

// A line: a source of a destination, or (as TDestination) a destination itself.
class TSource {
  public:
    TSource() = default;
    virtual ~TSource() = default;
    TSource(const TSource&) = delete;
    TSource& operator=(const TSource&) = delete;

    bool Valid = false;
    bool Disconnected = false;
    bool Active = false;
    uint32_t Channels = 0;
    uint32_t ControlCount = 0;
    std::string ShortName;
    std::string Name;
    std::vector<std::unique_ptr<TAudioControl>> Controls;  // a valid line's, when it has any
    uint32_t LineID = kNoMixerID;
    int32_t MuteIndex = -1;
    int32_t VolumeIndex = -1;
    int32_t SelectIndex = -1;
    // The line's index in its destination when it was taken as a recording-side reference.
    uint32_t SourceIndex = 0;

    // Value 0 of the level control, or null when the line has none.
    TVolume* GetVolume() const noexcept;
    TVolume* Volume() const noexcept { return GetVolume(); }
    // Makes item Index of the selector the chosen one; nothing without a selector or for an
    // index beyond its items.
    void SelectSource(uint32_t Index) noexcept;
};

class TDestination : public TSource {
  public:
    uint32_t Connections = 0;
    std::vector<std::unique_ptr<TSource>> Sources;
};

// The component's notification target: registered on the loop while the mixer is open, so that
// exactly one exists per open mixer and none is left behind.
class TMixerMan final : public platform::MessageTarget {
  public:
    TMixerMan(TAudioMixer& mixer, platform::MessageLoop& loop) noexcept
        : Mixer(&mixer), loop_(loop) {}
    ~TMixerMan();
    TMixerMan(const TMixerMan&) = delete;
    TMixerMan& operator=(const TMixerMan&) = delete;

    TAudioMixer* Mixer;

    platform::TargetId Handle() const noexcept { return handle_; }  // kNoTarget: not registered
    void registerTarget();
    void unregisterTarget() noexcept;

    void WndProc(uint32_t message, uintptr_t param1, uintptr_t param2) noexcept;
    void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) override {
        WndProc(message, param1, param2);
    }

  private:
    platform::MessageLoop& loop_;
    platform::TargetId handle_ = platform::kNoTarget;
};

class TAudioMixer {
  public:
    // Change events. D and S index Destinations and their Sources (S is kDestinationItself for
    // the destination's own line or control), C the line's Controls. A handler must not destroy
    // the component; it may close or reopen it.
    using TMixerControlChange =
        std::function<void(TAudioMixer* Sender, uint32_t D, uint32_t S, uint32_t C)>;
    using TMixerLineChange = std::function<void(TAudioMixer* Sender, uint32_t D, uint32_t S)>;

    TAudioMixer(platform::MixerDriver& driver, platform::MessageLoop& loop);
    virtual ~TAudioMixer();
    TAudioMixer(const TAudioMixer&) = delete;
    TAudioMixer& operator=(const TAudioMixer&) = delete;

    uint32_t DeviceCount = 0;  // mixer devices of the machine, read once by the constructor
    uint32_t MixerID = 0;
    std::unique_ptr<TMixerMan> Manager;
    std::string ProductName;
    uint32_t DestinationCount = 0;
    bool Active = false;
    std::unique_ptr<platform::MixerDevice> Handle;
    std::vector<std::unique_ptr<TDestination>> Destinations;
    TMixerControlChange OnMixerControlChange;
    TMixerLineChange OnMixerLineChange;

    // The lines recognised when the mixer was opened (null when the device has no such line).
    TDestination* RecordDestination = nullptr;
    TSource* WaveOut = nullptr;
    TSource* CDPlay = nullptr;
    TSource* CDRecord = nullptr;
    TSource* Synthesizer = nullptr;
    TSource* LinePlay = nullptr;
    TSource* LineRecord = nullptr;
    TSource* MicPlay = nullptr;
    TSource* MicRecord = nullptr;
    TSource* PCSpeaker = nullptr;
    TSource* AuxPlay = nullptr;
    TSource* AuxRecord = nullptr;
    TSource* AnalogPlay = nullptr;
    TSource* AnalogRecord = nullptr;
    TSource* TelephonePlay = nullptr;
    TSource* TelephoneRecord = nullptr;
    TDestination* SpeakersDestination = nullptr;
    TDestination* VoiceDestination = nullptr;

    // Closes an open mixer; EMixerID (keeping the old value) for an id the machine lacks.
    void SetMixerID(uint32_t value);
    // Opens device MixerID and reads its tree. Throws EMixerID, EMixerCaps or EMixerOpen, and
    // then leaves the component closed.
    void Open();
    void Close() noexcept;

    // Re-read a line (S = -1: the destination itself), the descriptions of a line's controls, or
    // one control's values.
    // A line's flags, counts and names are re-read whenever it changes; which reference it is
    // (and its SourceIndex) is decided only while Open reads the tree. Both update functions
    // throw only when memory runs out.
    void UpdateLine(uint32_t D, int32_t S);
    void UpdateControls(uint32_t D, int32_t S);
    void UpdateControl(uint32_t D, int32_t S, uint32_t C) noexcept;

  protected:
    virtual void DoMixerControlChange(uint32_t D, uint32_t S, uint32_t C);
    virtual void DoMixerLineChange(uint32_t D, uint32_t S);

  private:
    friend class TMixerMan;
    TSource* lineAt(uint32_t D, int32_t S) const noexcept;
    void recognise(TSource& line, uint32_t componentType, int32_t S) noexcept;
    void readTree();  // Open's last step: every line and control of the device
    void makeControls(uint32_t D, int32_t S);
    void release() noexcept;  // closes the device and frees the tree, whatever Active says
    void controlChanged(int32_t id);
    void lineChanged(int32_t id);

    platform::MixerDriver& driver_;
    platform::MessageLoop& loop_;
    bool readingTree_ = false;  // within readTree: lines read now are recognised
};

}  // namespace audio
