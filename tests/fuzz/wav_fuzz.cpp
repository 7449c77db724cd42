// Arbitrary bytes as a sound file for the simulated card. The outcome is a refusal that names the
// file and gives a reason, or a source that plays the file's frames: the same frames every time
// they are asked for, the same from memory (openSoundData) as from a file (openSoundFile), and each
// sample what libsndfile reads from the file in floating point (normalised: full scale 1.0), scaled
// to 16 bits and limited to full scale.
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/SignalSource.h"

namespace {

constexpr size_t kFrames = 300;              // frames rendered from each start
constexpr uint64_t kLateFrame = 1ull << 40;  // a start far on the card's clock
// The samples come from libsndfile's float read, the reference from its double read: they differ in
// the low bits of 32-bit data, so a rounding may go the other way.
constexpr double kTolerance = 1.0;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "wav_fuzz: %s\n", what);
    std::abort();
}

// The bytes as a file of their own, with a name that opens it.
class MemoryBackedFile {
  public:
    explicit MemoryBackedFile(std::span<const uint8_t> bytes)
        : fd_(memfd_create("wav_fuzz", MFD_CLOEXEC)) {
        require(fd_ >= 0, "memfd_create failed");
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            require(n > 0, "writing the memfd failed");
            done += static_cast<size_t>(n);
        }
    }
    ~MemoryBackedFile() { ::close(fd_); }
    MemoryBackedFile(const MemoryBackedFile&) = delete;
    MemoryBackedFile& operator=(const MemoryBackedFile&) = delete;

    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
};

// The first frames libsndfile reads from the file as normalised doubles, at most `limit` of them,
// with the file's channel and frame counts; none when it does not open.
struct Reference {
    int channels = 0;
    uint64_t fileFrames = 0;
    std::vector<double> samples;  // interleaved
};

Reference readReference(const std::string& path, size_t limit) {
    Reference ref;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return ref;
    if (info.channels > 0 && info.channels <= 2 && info.frames > 0) {
        const auto frames = static_cast<size_t>(std::min<sf_count_t>(info.frames, limit));
        ref.samples.resize(frames * static_cast<size_t>(info.channels));
        const sf_count_t got =
            sf_readf_double(file, ref.samples.data(), static_cast<sf_count_t>(frames));
        ref.samples.resize(static_cast<size_t>(std::max<sf_count_t>(got, 0)) *
                           static_cast<size_t>(info.channels));
        ref.channels = info.channels;
        ref.fileFrames = static_cast<uint64_t>(info.frames);
    }
    sf_close(file);
    return ref;
}

std::vector<int16_t> render(platform::sim::StereoSource& source, uint64_t first) {
    std::vector<int16_t> out(2 * kFrames);
    source.render(first, out);
    return out;
}

bool near(int16_t sample, double reference) {
    if (std::isnan(reference)) return sample == 0;  // a NaN in a float file plays as silence
    const double expected = std::clamp(reference * 32768.0, -32768.0, 32767.0);
    return std::abs(sample - expected) <= kTolerance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const MemoryBackedFile file(bytes);

    std::string error;
    const auto source = platform::sim::openSoundData(std::as_bytes(bytes), "fuzz input", error);
    std::string fileError;
    const auto fromFile = platform::sim::openSoundFile(file.path(), fileError);
    require((source == nullptr) == (fromFile == nullptr),
            "memory and file disagree on refusing the input");
    if (source == nullptr) {
        require(
            error.starts_with("Sound file \"fuzz input\" cannot be used: ") && error.size() > 42,
            "a refusal without its reason");
        return 0;
    }
    require(error.empty(), "an error text with a source");

    const std::vector<int16_t> first = render(*source, 0);
    require(render(*source, 0) == first, "rendering the same frames twice differs");
    require(render(*fromFile, 0) == first, "memory and file render differently");
    const std::vector<int16_t> late = render(*source, kLateFrame);
    require(render(*source, kLateFrame) == late, "rendering late frames twice differs");

    const Reference ref = readReference(file.path(), kFrames);
    require(ref.channels == 1 || ref.channels == 2, "libsndfile cannot read an accepted file");
    const size_t length = ref.samples.size() / static_cast<size_t>(ref.channels);
    require(length == std::min<uint64_t>(ref.fileFrames, kFrames), "libsndfile reads fewer frames");
    for (size_t i = 0; i < kFrames; ++i) {
        const size_t at = (i % ref.fileFrames) * static_cast<size_t>(ref.channels);
        const double left = ref.samples[at];
        const double right = ref.samples[at + static_cast<size_t>(ref.channels) - 1];
        require(near(first[2 * i], left) && near(first[2 * i + 1], right),
                "a rendered sample is not the file's");
    }
    return 0;
}
