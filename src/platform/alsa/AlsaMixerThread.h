// AlsaMixerThread: one ALSA simple mixer that lives on a thread of its own. The thread opens the
// mixer, makes every alsa-lib call on it (commands that callers hand in), handles its events in
// between (alsa-lib calls the elements' callbacks there) and closes it at the end.
//
// Why a thread: a control device may sit behind a sound server (ALSA's pulse plugin), and a
// server that stops answering (stopped, swapped out, hung) blocks the plugin's open, reads,
// writes and event handling without any time limit. A caller waits for each command at most
// kMixerAnswerTime and then gets an Error "does not answer"; while a command it gave up on is still
// running, every further command fails at once, without waiting again. The thread finishes the
// late command by itself when the server comes back.
//
// Ownership: a command owns what it works on (its closure's captures), since its caller may be
// gone when it ends. The thread owns the mixer and the state it shares with the caller, so that a
// thread still stuck inside alsa-lib when its owner is destroyed can be left behind: the
// destructor asks the thread to end, waits kMixerAnswerTime, and detaches it when it has not
// ended by then. Such a thread closes its mixer and ends once alsa-lib lets it go (or never,
// while the process lives); it touches nothing of its owner.
//
// Threading: start, run and the destructor are called by the owner's thread (the UI thread), one
// at a time. Commands and event handling run on the mixer's thread only, one at a time.
#pragma once

#include <alsa/asoundlib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/ErrorLog.h"

namespace platform::alsa {

// How long a caller waits for the mixer's thread to open the mixer, answer a command or end.
inline constexpr std::chrono::milliseconds kMixerAnswerTime{100};

class AlsaMixerThread {
  public:
    // What a command does on the mixer's thread with the open mixer.
    using Work = std::function<Status(snd_mixer_t* mixer)>;

    // Starts a thread that opens the mixer of control device `device` (AlsaMixerHandle::open),
    // then runs `setUp` on it; waits for both at most kMixerAnswerTime. On success `out` holds the
    // running thread; a failure (the open's or setUp's, or no answer) is returned, and a thread
    // that has not answered is left to end by itself. `kept` (what the elements' callbacks that
    // setUp installs work with) is kept until the mixer is closed.
    static Status start(const std::string& device, Work setUp, std::shared_ptr<void> kept,
                        std::unique_ptr<AlsaMixerThread>& out);

    ~AlsaMixerThread();
    AlsaMixerThread(const AlsaMixerThread&) = delete;
    AlsaMixerThread& operator=(const AlsaMixerThread&) = delete;

    // Runs `work` on the mixer's thread and returns its result, or Error "does not answer" when
    // it has not finished within kMixerAnswerTime (it still runs later) or an earlier command is
    // still running (it is then not run at all).
    Status run(Work work);

    // The failure that ended the event handling (poll or alsa-lib reported an error, as when the
    // card went away), or ok. Commands still run; those that need the card see the same failure.
    // Any thread.
    Status eventFailure() const;

    struct Core;     // what the thread and its owner share
    struct Command;  // one call, with its result

  private:
    explicit AlsaMixerThread(std::shared_ptr<Core> core);
    // The command's result, or Error "does not answer" when it has not finished in time.
    Status await(const std::shared_ptr<Command>& command);

    std::shared_ptr<Core> core_;
    std::thread thread_;
};

}  // namespace platform::alsa
