// AlsaMixerDevice: one open mixer device on ALSA's simple mixer, with the line tree of
// AlsaMixerTree and one event thread.
//
// Events: the thread waits in poll() on the mixer's descriptors and a wake event; when the mixer
// has events it calls snd_mixer_handle_events, and alsa-lib calls back for every element that
// changed. The callback only posts: a ControlChange for each control whose values live in the
// element (a change of a value), a LineChange for each line the element stands for (a change of
// its description, or its removal, after which its controls fail with Error). An element that is
// both a playback and a capture source posts for the controls of both, whichever side changed.
// A successful setDetails posts its control's change itself, since not every control device
// reports a handle's own writes back to it.
//
// Locking: mutex_ is held around every snd_mixer_* call, by the UI thread in the MixerDevice calls
// and by the event thread around snd_mixer_poll_descriptors* and snd_mixer_handle_events (the
// callbacks run inside the latter). The thread neither allocates nor logs.
//
// The thread is started by open and stopped by the destructor only. Stop order: quit_ set under
// the lock, the wake event signalled, the thread joined; then the mixer is closed. A mixer that
// fails (the card went away: poll or snd_mixer_handle_events reports an error) ends the thread; the
// device then answers every call that needs the card with Error and the failure's text.
#pragma once

#include <poll.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ErrorLog.h"
#include "platform/MixerDriver.h"
#include "platform/WakeEvent.h"
#include "platform/alsa/AlsaMixerHandle.h"
#include "platform/alsa/AlsaMixerTree.h"

namespace platform::alsa {

class AlsaMixerDevice final : public MixerDevice {
    struct Key {
        explicit Key() = default;
    };

  public:
    // Opens `device`, builds its tree and starts the event thread. Failures are recorded in
    // `errors` and returned.
    static MMResult open(const std::string& device, MessageLoop& loop, TargetId notify,
                         std::shared_ptr<ErrorLog> errors, std::unique_ptr<MixerDevice>& out);
    // Only open makes a device (Key is private).
    AlsaMixerDevice(Key, std::string device, AlsaMixerHandle mixer, MessageLoop& loop,
                    TargetId notify, std::shared_ptr<ErrorLog> errors);
    ~AlsaMixerDevice() override;
    AlsaMixerDevice(const AlsaMixerDevice&) = delete;
    AlsaMixerDevice& operator=(const AlsaMixerDevice&) = delete;

    MMResult lineInfo(uint32_t destination, int32_t source, MixerLine& line) override;
    MMResult lineControls(uint32_t lineId, uint32_t count,
                          std::vector<MixerControl>& controls) override;
    MMResult getDetails(const ControlDetails& details) override;
    MMResult setDetails(const ControlDetails& details) override;

  private:
    Status start();  // sets the element callbacks, sizes the descriptors, starts the thread
    void run();      // the event thread's body
    static int elementEvent(snd_mixer_elem_t* elem, unsigned int mask);

    // mutex_ held: the failure that stopped the events, or a removed element, as Error; else ok.
    Status usable(const TreeControl& control) const;
    Status failAlsa(const char* call, int err) const;  // Error: `call("device"): reason`
    Status read(const TreeControl& control, std::span<int32_t> values, uint32_t channels) const;
    Status write(const TreeControl& control, std::span<const int32_t> values, uint32_t channels);

    const std::string device_;
    MessageLoop& loop_;
    const TargetId notify_;
    const std::shared_ptr<ErrorLog> errors_;

    // Guards every snd_mixer_* call on mixer_, the element pointers of tree_ (cleared when
    // alsa-lib removes an element), quit_ and the failure fields.
    mutable std::mutex mutex_;
    AlsaMixerHandle mixer_;
    AlsaMixerTree tree_;
    bool quit_ = false;
    int failedErr_ = 0;                 // the error that ended the event thread, if any
    const char* failedCall_ = nullptr;  // and the call that reported it

    // What an element's callback is given: the device and the element's entry in the tree.
    struct Watch {
        AlsaMixerDevice* device;
        ElementRef* ref;
    };
    std::vector<Watch> watches_;  // made by start, one per element of the tree
    bool closing_ = false;        // set by the destructor once the thread has ended

    WakeEvent wake_;
    std::vector<pollfd> fds_;  // the wake event, then the mixer's descriptors; event thread
    std::thread thread_;
};

}  // namespace platform::alsa
