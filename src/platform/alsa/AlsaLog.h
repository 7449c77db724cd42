// alsa-lib's own messages: the library prints the reasons behind a failure ("cannot find card
// '7'", "Unknown PCM hw:7") on stderr by default. Routed here instead, they are kept per thread so
// that the text of the failed call can carry them, and nothing reaches stderr.
#pragma once

#include <string_view>

namespace platform::alsa {

// Installs the process-wide alsa-lib error handler that keeps the messages. The ALSA backends
// call it before their first alsa-lib call; any thread, any number of times (it acts once).
void routeLibraryMessages();

// What alsa-lib said on this thread since the last discard: its first message (the root cause),
// then "; " and its latest, cut to a fixed buffer. Empty when it said nothing. Valid until the
// thread's next alsa-lib call or discard.
std::string_view libraryMessages() noexcept;

// Forgets this thread's messages: the next failure's text holds only what its own calls said.
// Does not allocate.
void discardLibraryMessages() noexcept;

}  // namespace platform::alsa
