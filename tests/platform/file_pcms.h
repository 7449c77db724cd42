// ALSA test devices without a sound server: the `file` PCM plugin over a `null` slave feeds
// capture from a raw file and writes playback to one (both unpaced), and a `multi` PCM with a
// single channel stands for a device that refuses stereo. A program that includes this registers
// the environment that writes the files and points alsa-lib at them (ALSA_CONFIG_PATH is read when
// the first PCM is opened, after the environment has been set up). A second playback writes
// through a reader that takes at most 4 KiB a millisecond: paced, as a sound card is.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace filepcm {

using Bytes = std::vector<std::byte>;

inline constexpr char kCapturePcm[] = "soundscope_capture_file";
inline constexpr char kPlaybackPcm[] = "soundscope_playback_file";
inline constexpr char kPacedPlaybackPcm[] = "soundscope_playback_paced";
inline constexpr char kMonoOnlyPcm[] = "soundscope_mono_only";
inline constexpr size_t kInputBytes = 8 * 44100 * 4;  // 8 s of 16-bit stereo at 44100 Hz

class Environment : public ::testing::Environment {
  public:
    static inline std::filesystem::path dir;
    static inline Bytes input;

    void SetUp() override {
        char pattern[] = "/tmp/alsa_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::mt19937 random(20240601);  // fixed seed: every byte value, no pattern to hide behind
        input.resize(kInputBytes);
        for (std::byte& b : input) b = static_cast<std::byte>(random() & 0xFF);
        std::ofstream(dir / "input.raw", std::ios::binary)
            .write(reinterpret_cast<const char*>(input.data()),
                   static_cast<std::streamsize>(input.size()));
        std::ofstream(dir / "asound.conf")
            << "pcm." << kCapturePcm << " { type file slave.pcm null file \"/dev/null\" infile \""
            << (dir / "input.raw").string() << "\" format raw }\n"
            << "pcm." << kPlaybackPcm << " { type file slave.pcm null file \""
            << (dir / "played.raw").string() << "\" format raw }\n"
            << "pcm." << kPacedPlaybackPcm << " { type file slave.pcm null file \"| perl -e "
            << "'while (sysread STDIN, $b, 4096) { syswrite STDOUT, $b; select undef, undef, "
            << "undef, 0.001 }' > " << (dir / "paced.raw").string() << "\" format raw }\n"
            << "pcm." << kMonoOnlyPcm << " { type multi slaves.a.pcm null slaves.a.channels 1 "
            << "bindings.0.slave a bindings.0.channel 0 }\n";
        const std::string path = "/usr/share/alsa/alsa.conf:" + (dir / "asound.conf").string();
        ASSERT_EQ(setenv("ALSA_CONFIG_PATH", path.c_str(), 1), 0);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

inline Bytes inputPart(size_t offset, size_t length) {
    const auto begin = Environment::input.begin() + static_cast<ptrdiff_t>(offset);
    return Bytes(begin, begin + static_cast<ptrdiff_t>(length));
}

// What a playback device has written so far.
inline Bytes readPlayed(const char* file = "played.raw") {
    std::ifstream in(Environment::dir / file, std::ios::binary);
    const std::vector<char> chars{std::istreambuf_iterator<char>(in), {}};
    Bytes bytes(chars.size());
    std::transform(chars.begin(), chars.end(), bytes.begin(),
                   [](char c) { return static_cast<std::byte>(c); });
    return bytes;
}

}  // namespace filepcm
