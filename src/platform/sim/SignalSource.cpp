#include "platform/sim/SignalSource.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <numbers>
#include <optional>
#include <vector>

#include "platform/sim/Periodic.h"

namespace platform::sim {

namespace {

constexpr double kRate = kSimFrameRate;

int16_t clampAmplitude(int amplitude) {
    return static_cast<int16_t>(std::clamp(amplitude, -kMaxAmplitude, kMaxAmplitude));
}

class Silence final : public ChannelSource {
  public:
    int16_t sample(uint64_t) const override { return 0; }
};

class Square final : public ChannelSource {
  public:
    Square(double frequency, int16_t amplitude) : frequency_(frequency), amplitude_(amplitude) {
        const double half = kRate / (2.0 * frequency);
        if (half >= 1.0 && half == std::floor(half)) halfPeriod_ = static_cast<uint64_t>(half);
    }

    int16_t sample(uint64_t frame) const override {
        if (halfPeriod_ != 0) return (frame / halfPeriod_) % 2 == 0 ? amplitude_ : -amplitude_;
        // Position within the period, in units of 1/44100 of a period: exact for whole
        // frequencies as long as frame × 2f stays below 2^53.
        const double position = std::fmod(static_cast<double>(frame) * frequency_, kRate);
        return position < kRate / 2.0 ? amplitude_ : static_cast<int16_t>(-amplitude_);
    }

  private:
    double frequency_;
    int16_t amplitude_;
    uint64_t halfPeriod_ = 0;  // frames per half period when that is a whole number
};

class Sine final : public ChannelSource {
  public:
    Sine(double frequency, int16_t amplitude) : frequency_(frequency), amplitude_(amplitude) {}

    int16_t sample(uint64_t frame) const override {
        // Reduce to one period first so that the phase stays exact for late frames.
        const double cycles = std::fmod(static_cast<double>(frame) * frequency_, kRate) / kRate;
        const double value = amplitude_ * std::sin(2.0 * std::numbers::pi * cycles);
        return static_cast<int16_t>(std::lround(value));
    }

  private:
    double frequency_;
    int16_t amplitude_;
};

class Pulse final : public ChannelSource {
  public:
    explicit Pulse(const PulseTrain& pulse)
        : pulse_(pulse),
          high_(clampAmplitude(pulse.high)),
          low_(clampAmplitude(pulse.low)),
          duty_(pulse.dutyPercent / 100.0) {}

    int16_t sample(uint64_t frame) const override {
        return periodPhase(frame, pulse_.frequency, pulse_.delay) < duty_ ? high_ : low_;
    }

  private:
    PulseTrain pulse_;
    int16_t high_;
    int16_t low_;
    double duty_;  // the fraction of the period at `high`
};

class StereoPair final : public StereoSource {
  public:
    StereoPair(std::unique_ptr<ChannelSource> left, std::unique_ptr<ChannelSource> right)
        : left_(std::move(left)), right_(std::move(right)) {}

    void render(uint64_t firstFrame, std::span<int16_t> out) override {
        const size_t frames = out.size() / 2;
        for (size_t i = 0; i < frames; ++i) {
            out[2 * i] = left_->sample(firstFrame + i);
            out[2 * i + 1] = right_->sample(firstFrame + i);
        }
    }

  private:
    std::unique_ptr<ChannelSource> left_;
    std::unique_ptr<ChannelSource> right_;
};

// Interleaved stereo frames held in memory, played in a loop.
class LoopedFrames final : public StereoSource {
  public:
    explicit LoopedFrames(std::vector<int16_t> frames) : frames_(std::move(frames)) {}

    void render(uint64_t firstFrame, std::span<int16_t> out) override {
        const size_t count = frames_.size() / 2;
        size_t position = static_cast<size_t>(firstFrame % count);
        size_t done = 0;
        const size_t wanted = out.size() / 2;
        while (done < wanted) {
            const size_t run = std::min(wanted - done, count - position);
            std::memcpy(&out[2 * done], &frames_[2 * position], run * 2 * sizeof(int16_t));
            done += run;
            position = 0;
        }
    }

  private:
    std::vector<int16_t> frames_;
};

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// Bytes one frame takes in the file's data chunk, for the uncompressed encodings whose data length
// translates into frames; 0 for the others.
int bytesPerSample(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
            return 1;
        case SF_FORMAT_PCM_16:
            return 2;
        case SF_FORMAT_PCM_24:
            return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
            return 4;
        case SF_FORMAT_DOUBLE:
            return 8;
        default:
            return 0;
    }
}

// The number of frames the file's header announces for its data chunk, when the container has
// one and the encoding is uncompressed. libsndfile shortens `frames` to what the file really holds,
// so this is how a truncated file is recognised.
std::optional<uint64_t> announcedFrames(SNDFILE* file, const SF_INFO& info) {
    const int sampleBytes = bytesPerSample(info.format);
    if (sampleBytes == 0) return std::nullopt;
    SF_CHUNK_INFO wanted{};
    std::memcpy(wanted.id, "data", 4);
    wanted.id_size = 4;
    SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(file, &wanted);
    if (it == nullptr) return std::nullopt;
    SF_CHUNK_INFO data{};
    if (sf_get_chunk_size(it, &data) != SF_ERR_NO_ERROR) return std::nullopt;
    // Writers that cannot seek back leave the length open with this placeholder.
    if (data.datalen >= 0x7FFFFFFFu) return std::nullopt;
    return data.datalen / (static_cast<uint64_t>(sampleBytes) * info.channels);
}

// A floating-point sample as a 16-bit one: full scale (1.0) is 32768, as libsndfile normalises
// 16-bit data, so a 16-bit file stored as floats reads back the same. Beyond full scale the value
// is limited to it; NaN is silence.
int16_t toSample16(float value) {
    if (std::isnan(value)) return 0;
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// Reads the file's frames as 16-bit samples, through libsndfile's normalised floating-point read
// and toSample16. Its own 16-bit read does not scale float and double data (0.5 reads as 0, so a
// float file played as silence) and wraps around beyond full scale where a decoder works in
// floating point (float, double, MPEG) instead of limiting. 8- and 16-bit data reads back exactly,
// wider data rounded to 16 bits. Returns the frames read, as sf_readf_short would.
sf_count_t readFrames(SNDFILE* file, std::span<int16_t> samples, int channels) {
    constexpr size_t kChunkFrames = 4096;
    std::array<float, kChunkFrames * 2> chunk;
    const auto width = static_cast<size_t>(channels);
    const size_t frames = samples.size() / width;
    size_t done = 0;
    while (done < frames) {
        const auto wanted = static_cast<sf_count_t>(std::min(kChunkFrames, frames - done));
        const sf_count_t got = sf_readf_float(file, chunk.data(), wanted);
        if (got <= 0) break;
        const size_t values = static_cast<size_t>(got) * width;
        std::transform(chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(values),
                       samples.begin() + static_cast<ptrdiff_t>(done * width), toSample16);
        done += static_cast<size_t>(got);
        if (got < wanted) break;
    }
    return static_cast<sf_count_t>(done);
}

// Why the sound file `name` cannot be played, as the user is told.
std::string refusal(const std::string& name, const std::string& reason) {
    return "Sound file \"" + name + "\" cannot be used: " + reason;
}

// The checks every opened sound file passes before it is played, and the read of its frames. `name`
// stands for the file in the refusal text.
std::unique_ptr<StereoSource> acceptSoundFile(SNDFILE* opened, const SF_INFO& info,
                                              const std::string& name, std::string& error) {
    const auto refuse = [&](const std::string& reason) {
        error = refusal(name, reason);
        return nullptr;
    };

    SndfilePtr file(opened);
    if (!file) return refuse(sf_strerror(nullptr));
    if (info.samplerate != static_cast<int>(kSimFrameRate)) {
        return refuse("it has " + std::to_string(info.samplerate) +
                      " frames/s; the simulated card runs at 44100 frames/s only.");
    }
    if (info.channels != 1 && info.channels != 2) {
        return refuse("it has " + std::to_string(info.channels) +
                      " channels; only mono and stereo files can be played.");
    }
    if (info.frames <= 0) return refuse("it holds no audio frames.");
    const auto frames = static_cast<uint64_t>(info.frames);
    if (frames > kMaxSoundFileFrames) {
        return refuse("it is longer than " + std::to_string(kMaxSoundFileFrames / kSimFrameRate) +
                      " s.");
    }
    if (const auto announced = announcedFrames(file.get(), info);
        announced && *announced > frames) {
        return refuse("it is truncated: its header announces " + std::to_string(*announced) +
                      " frames, the file holds " + std::to_string(frames) + ".");
    }

    const auto channels = static_cast<size_t>(info.channels);
    std::vector<int16_t> samples;
    std::vector<int16_t> stereo;
    try {
        samples.resize(frames * channels);
        if (channels == 1) stereo.resize(frames * 2);
    } catch (const std::bad_alloc&) {
        return refuse("not enough memory to hold it.");
    }
    const sf_count_t got = readFrames(file.get(), samples, info.channels);
    if (got != info.frames) {
        return refuse("it is truncated: " + std::to_string(frames) + " frames announced, " +
                      std::to_string(got < 0 ? 0 : got) + " readable (" + sf_strerror(file.get()) +
                      ").");
    }
    if (channels == 2) return std::make_unique<LoopedFrames>(std::move(samples));
    for (size_t i = 0; i < frames; ++i) stereo[2 * i] = stereo[2 * i + 1] = samples[i];
    return std::make_unique<LoopedFrames>(std::move(stereo));
}

// A sound file's bytes in memory, read through libsndfile's virtual I/O. Read only: a seek may go
// past the end (a read there gets nothing), never before the start.
class MemoryFile {
  public:
    explicit MemoryFile(std::span<const std::byte> bytes) : bytes_(bytes) {}

    static SF_VIRTUAL_IO io() {
        SF_VIRTUAL_IO io{};
        io.get_filelen = [](void* self) { return at(self).length(); };
        io.seek = [](sf_count_t offset, int whence, void* self) {
            return at(self).seek(offset, whence);
        };
        io.read = [](void* out, sf_count_t count, void* self) { return at(self).read(out, count); };
        io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
        io.tell = [](void* self) { return at(self).position_; };
        return io;
    }

  private:
    static MemoryFile& at(void* self) { return *static_cast<MemoryFile*>(self); }
    sf_count_t length() const { return static_cast<sf_count_t>(bytes_.size()); }

    sf_count_t seek(sf_count_t offset, int whence) {
        sf_count_t base = 0;
        if (whence == SEEK_CUR) base = position_;
        if (whence == SEEK_END) base = length();
        // Out of range or overflowing: refused, the position stays.
        if (offset < 0 ? offset < -base : offset > INT64_MAX - base) return -1;
        position_ = base + offset;
        return position_;
    }

    sf_count_t read(void* out, sf_count_t count) {
        if (count <= 0 || position_ >= length()) return 0;
        const sf_count_t n = std::min(count, length() - position_);
        std::memcpy(out, bytes_.data() + position_, static_cast<size_t>(n));
        position_ += n;
        return n;
    }

    std::span<const std::byte> bytes_;
    sf_count_t position_ = 0;
};

}  // namespace

std::unique_ptr<ChannelSource> makeSilence() {
    return std::make_unique<Silence>();
}

std::unique_ptr<ChannelSource> makeSquare(double frequency, int amplitude) {
    if (!std::isfinite(frequency) || frequency <= 0.0) return makeSilence();
    return std::make_unique<Square>(frequency, clampAmplitude(amplitude));
}

std::unique_ptr<ChannelSource> makeSine(double frequency, int amplitude) {
    if (!std::isfinite(frequency)) return makeSilence();
    return std::make_unique<Sine>(frequency, clampAmplitude(amplitude));
}

std::unique_ptr<ChannelSource> makePulse(const PulseTrain& pulse) {
    if (!playablePulse(pulse)) return makeSilence();
    return std::make_unique<Pulse>(pulse);
}

std::unique_ptr<StereoSource> makeStereo(std::unique_ptr<ChannelSource> left,
                                         std::unique_ptr<ChannelSource> right) {
    if (!left) left = makeSilence();
    if (!right) right = makeSilence();
    return std::make_unique<StereoPair>(std::move(left), std::move(right));
}

std::unique_ptr<StereoSource> openSoundFile(const std::string& path, std::string& error) {
    // libsndfile opens a folder as well, and then finds its format "not recognised".
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = refusal(path, "it is a folder, not a file.");
        return nullptr;
    }
    SF_INFO info{};
    return acceptSoundFile(sf_open(path.c_str(), SFM_READ, &info), info, path, error);
}

std::unique_ptr<StereoSource> openSoundData(std::span<const std::byte> bytes,
                                            const std::string& name, std::string& error) {
    MemoryFile memory(bytes);
    SF_VIRTUAL_IO io = MemoryFile::io();
    SF_INFO info{};
    return acceptSoundFile(sf_open_virtual(&io, SFM_READ, &info, &memory), info, name, error);
}

}  // namespace platform::sim
