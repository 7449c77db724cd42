// AlsaMixerDevice: one open mixer device on ALSA's simple mixer, with the line tree of
// AlsaMixerTree, on a mixer thread of its own (AlsaMixerThread).
//
// Every alsa-lib call runs on that thread: the open and the tree's building, each read and write
// of a control's values (a command the UI thread waits for at most kMixerAnswerTime, so that a
// sound server that does not answer makes the call fail with "does not answer" instead of
// blocking the window), and the event handling in between. lineInfo and lineControls answer from
// the tree, which the thread built before open returned and which does not change.
//
// Events: alsa-lib calls back for every element that changed. The callback only posts: a
// ControlChange for each control whose values live in the element (a change of a value), a
// LineChange for each line the element stands for (a change of its description, or its removal,
// after which its controls fail with Error). An element that is both a playback and a capture
// source posts for the controls of both, whichever side changed. A successful setDetails posts
// its control's change itself, since not every control device reports a handle's own writes back
// to it. The destructor stops the posting first: a thread left behind posts nothing.
//
// Values: alsa-lib keeps each element's values as it last read them and writes an element only
// where a new value differs from those. Every read and write therefore first takes in the events
// that are waiting, so that a value is never skipped (or written back) for a change the handle has
// not heard of yet: on a two-channel "Capture Source", turning off the microphone's stale switches
// would put its second channel back on the microphone.
//
// A mixer that fails (the card went away: poll or snd_mixer_handle_events reports an error) ends
// the event handling; the device then answers every call that needs the card with Error and the
// failure's text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ErrorLog.h"
#include "platform/MixerDriver.h"
#include "platform/alsa/AlsaMixerThread.h"
#include "platform/alsa/AlsaMixerTree.h"

namespace platform::alsa {

class AlsaMixerDevice final : public MixerDevice {
    struct Key {
        explicit Key() = default;
    };

  public:
    // Opens `device` on a thread of its own and builds its tree. Failures are recorded in
    // `errors` and returned.
    static MMResult open(const std::string& device, MessageLoop& loop, TargetId notify,
                         std::shared_ptr<ErrorLog> errors, std::unique_ptr<MixerDevice>& out);
    // Only open makes a device (Key is private).
    AlsaMixerDevice(Key, std::string device, std::shared_ptr<ErrorLog> errors);
    ~AlsaMixerDevice() override;
    AlsaMixerDevice(const AlsaMixerDevice&) = delete;
    AlsaMixerDevice& operator=(const AlsaMixerDevice&) = delete;

    MMResult lineInfo(uint32_t destination, int32_t source, MixerLine& line) override;
    MMResult lineControls(uint32_t lineId, uint32_t count,
                          std::vector<MixerControl>& controls) override;
    MMResult getDetails(const ControlDetails& details) override;
    MMResult setDetails(const ControlDetails& details) override;

    // What the mixer's thread and its callbacks share with the device; kept by the thread until
    // the mixer is closed.
    struct Shared;

  private:
    Status start(MessageLoop& loop, TargetId notify);

    const std::string device_;
    const std::shared_ptr<ErrorLog> errors_;
    std::shared_ptr<Shared> shared_;
    const AlsaMixerTree* tree_ = nullptr;  // shared_'s, once the thread has built it
    std::unique_ptr<AlsaMixerThread> thread_;
};

}  // namespace platform::alsa
