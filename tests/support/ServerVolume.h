// The running PulseAudio (or pipewire-pulse) server's volumes as pactl reports them, for the
// end-to-end tests that check what the program writes to the server's mixer.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace testing_support {

enum class ServerStream { Sink, Source };

// The default sink's or source's left volume in the server's raw units (65536 = 100 %), from
// "Volume: front-left: 32768 / 50% / ..."; -1 when pactl gives none.
inline long serverVolume(ServerStream stream) {
    const char* command = stream == ServerStream::Sink ? "pactl get-sink-volume @DEFAULT_SINK@"
                                                       : "pactl get-source-volume @DEFAULT_SOURCE@";
    const std::unique_ptr<FILE, int (*)(FILE*)> out(popen(command, "r"), pclose);
    if (!out) return -1;
    std::array<char, 512> text{};
    const size_t n = std::fread(text.data(), 1, text.size() - 1, out.get());
    const std::string s(text.data(), n);
    const size_t at = s.find("front-left:");
    return at == std::string::npos ? -1 : std::strtol(s.c_str() + at + 11, nullptr, 10);
}

}  // namespace testing_support
