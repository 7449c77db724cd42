#include "platform/alsa/AlsaLog.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace platform::alsa {

namespace {

// One thread's messages: the first kept whole (as far as it fits), the latest after it. Plain
// data, so a thread's first use allocates nothing.
struct Messages {
    std::array<char, 320> text{};
    size_t length = 0;       // of the whole text
    size_t firstLength = 0;  // of the first message; 0 while there is none

    void append(std::string_view part) {
        const size_t n = std::min(part.size(), text.size() - length);
        std::memcpy(text.data() + length, part.data(), n);
        length += n;
    }
};

thread_local Messages tMessages;

constexpr std::string_view kSeparator = "; ";

// alsa-lib's error handler (snd_lib_error_handler_t). Runs inside alsa-lib on whichever thread
// called it, driver threads included: it formats into a fixed buffer and allocates nothing.
void keepMessage(const char* /*file*/, int /*line*/, const char* /*function*/, int err,
                 const char* fmt, ...) {
    std::array<char, 256> line{};
    va_list args;
    va_start(args, fmt);
    const int written = std::vsnprintf(line.data(), line.size(), fmt, args);
    va_end(args);
    if (written <= 0) return;
    std::string_view message(line.data(), std::min(static_cast<size_t>(written), line.size() - 1));
    // Some plugins end a message with a line break of their own (pulse does); it does not belong
    // in the text that goes into a failure's one line.
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.remove_suffix(1);
    if (message.empty()) return;

    Messages& m = tMessages;
    const bool first = m.firstLength == 0;
    if (first) {
        m.length = 0;
    } else {
        m.length = m.firstLength;
        m.append(kSeparator);
    }
    m.append(message);
    // As alsa-lib's own printer does, a system error's message ends with its reason.
    if (err != 0) {
        m.append(": ");
        m.append(snd_strerror(err));
    }
    if (first) m.firstLength = m.length;
}

}  // namespace

void routeLibraryMessages() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&keepMessage); });
}

std::string_view libraryMessages() noexcept {
    return {tMessages.text.data(), tMessages.length};
}

void discardLibraryMessages() noexcept {
    tMessages.length = 0;
    tMessages.firstLength = 0;
}

}  // namespace platform::alsa
