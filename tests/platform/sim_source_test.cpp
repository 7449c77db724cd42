#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/SignalSource.h"

namespace {

using namespace platform::sim;
namespace fs = std::filesystem;

TEST(SimSources, SquareMatchesAnIntegerReferenceAnHourIn) {
    // Reference for whole frequencies: frame k lies in half period floor(k × 2f / 44100), and even
    // half periods are positive. 50 and 441 have whole half periods; 1000 and 12345 do not.
    for (uint64_t f : {50u, 441u, 1000u, 12345u, 22050u}) {
        const auto square = makeSquare(static_cast<double>(f), 1000);
        for (uint64_t start : {0ull, 3600ull * 44100}) {
            for (uint64_t k = start; k < start + 3000; ++k) {
                const int16_t ref = (k * 2 * f / 44100) % 2 == 0 ? 1000 : -1000;
                ASSERT_EQ(square->sample(k), ref) << "f=" << f << " k=" << k;
            }
        }
    }
    EXPECT_EQ(makeSquare(441, 40000)->sample(0), 32767);  // amplitude clamped
    EXPECT_EQ(makeSquare(441, 40000)->sample(50), -32767);
    for (double f : {0.0, -441.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(makeSquare(f, 1000)->sample(0), 0) << f;
        EXPECT_EQ(makeSquare(f, 1000)->sample(75), 0) << f;
    }
}

TEST(SimSources, SineAtKnownFramesAndAgainstReference) {
    const auto quarter = makeSine(11025, 1000);  // four frames per period
    const int16_t expected[] = {0, 1000, 0, -1000, 0};
    for (uint64_t k = 0; k < 5; ++k) EXPECT_EQ(quarter->sample(k), expected[k]) << k;
    EXPECT_EQ(quarter->sample(3600ull * 44100 + 1), 1000);
    for (double f : {1.0, 997.0, 1234.5}) {
        const auto sine = makeSine(f, 30000);
        for (uint64_t k = 0; k < 5000; k += 7) {
            const long double phase = 2 * std::numbers::pi_v<long double> * f * k / 44100;
            ASSERT_NEAR(sine->sample(k), std::lround(30000 * std::sin(phase)), 1) << f << " " << k;
        }
    }
    EXPECT_EQ(makeSine(std::numeric_limits<double>::quiet_NaN(), 1000)->sample(3), 0);
}

TEST(SimSources, StereoPairsLeftThenRightAndSilenceForAMissingChannel) {
    EXPECT_EQ(makeSilence()->sample(123456789), 0);
    std::vector<int16_t> out(8);
    makeStereo(makeSquare(22050, 100), makeSquare(22050, -200))->render(1, out);  // frames 1..4
    EXPECT_EQ(out, (std::vector<int16_t>{-100, 200, 100, -200, -100, 200, 100, -200}));
    makeStereo(nullptr, makeSquare(441, 7))->render(0, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 7);
}

TEST(SimSources, PulseTrainMatchesAnIntegerReferenceAndRefusesWhatItCannotPlay) {
    // 980 Hz is 45 frames per period, 20 % high its first 9 frames. 1000 Hz a quarter period late
    // (0.25 ms): frame k is high while (k × 1000 - 11025) mod 44100 < 8820.
    const auto pulse = makePulse({980, 20, 5000, -300});
    for (uint64_t k = 3600ull * 44100; k < 3600ull * 44100 + 450; ++k)
        ASSERT_EQ(pulse->sample(k), k % 45 < 9 ? 5000 : -300) << k;
    const auto late = makePulse({1000, 20, 5000, -300, 0.00025});
    for (uint64_t k = 12; k < 2000; ++k)
        ASSERT_EQ(late->sample(k), (k * 1000 - 11025) % 44100 < 8820 ? 5000 : -300) << k;
    EXPECT_EQ(makePulse({100, 50, 40000, -40000})->sample(0), kMaxAmplitude);
    for (const PulseTrain& bad :
         {PulseTrain{0, 50}, PulseTrain{22051, 50}, PulseTrain{100, 0}, PulseTrain{100, 100},
          PulseTrain{std::numeric_limits<double>::quiet_NaN(), 50},
          PulseTrain{100, 50, 8000, 0, std::numeric_limits<double>::infinity()}}) {
        EXPECT_EQ(makePulse(bad)->sample(3), 0) << bad.frequency << " " << bad.dutyPercent;
        EXPECT_EQ(makePulse(bad, LineIn{})->sample(3), 0) << bad.frequency;
    }
    for (const LineIn& bad : {LineIn{-1}, LineIn{10, 5}, LineIn{10, 20000, -1},
                              LineIn{10, std::numeric_limits<double>::quiet_NaN()}}) {
        EXPECT_EQ(makePulse({100, 50, 8000, 0, 0.001}, bad)->sample(3), 0) << bad.lowPassHz;
        EXPECT_EQ(makeSine(1000, 8000, bad)->sample(3), 0) << bad.lowPassHz;
    }
}

TEST(SimSources, LineInCouplingDroopsAsAnRcHighPassAndTheFilterCentresEachEdge) {
    // High-pass alone, against the RC circuit's steady state: a 100 Hz, 25 % pulse of 8000 rises
    // to a = 8000 (1 - e^(-(T - D)/τ)) / (1 - e^(-T/τ)), decays by e^(-t/τ), falls by 8000.
    const double tau = 1.0 / (2 * std::numbers::pi * 10), period = 0.01, high = 0.0025;
    const double a = 8000 * -std::expm1(-(period - high) / tau) / -std::expm1(-period / tau);
    const auto coupled = makePulse({100, 25, 8000, 0}, LineIn{10, 0, 0});
    for (uint64_t k = 441 * 30; k < 441 * 31; ++k) {
        const double t = (k % 441) / 44100.0;
        const double rc = t < high
                              ? a * std::exp(-t / tau)
                              : (a * std::exp(-high / tau) - 8000) * std::exp(-(t - high) / tau);
        ASSERT_NEAR(coupled->sample(k), rc, 1.0) << k;
    }
    // Both: 41 frames and more from an edge the low-pass leaves the coupled signal as it is.
    const auto both = makePulse({100, 25, 8000, 0}, LineIn{10, 20000, 0});
    for (uint64_t k = 441 * 30 + 41; k < 441 * 30 + 110 - 41; ++k)
        ASSERT_NEAR(both->sample(k), coupled->sample(k), 1.0) << k;
    for (uint64_t k = 441 * 30 + 151; k < 441 * 31 - 41; ++k)
        ASSERT_NEAR(both->sample(k), coupled->sample(k), 1.0) << k;
    // Low-pass alone: 40 frames from an edge the level is exact; about an edge half a frame late
    // the samples are symmetric (odd), as a linear-phase filter leaves them, and the edge's frames
    // lie between the levels.
    const auto filtered = makePulse({50, 50, 8000, -8000, 0.5 / 44100}, LineIn{0, 20000, 0});
    for (uint64_t m = 0; m < 40; ++m) {
        ASSERT_NEAR(filtered->sample(1 + m) + filtered->sample(882 - m), 0, 1) << m;
        EXPECT_EQ(filtered->sample(441 + 41 + m), -8000) << m;
    }
    EXPECT_GT(filtered->sample(1), 0);
    EXPECT_LT(filtered->sample(1), 8000);
}

TEST(SimSources, LineInSineHasTheFiltersGainAndPhaseAndNoiseRepeatsBySeed) {
    // At the 10 Hz corner the coupling passes 1/√2 and leads by 45°.
    const auto corner = makeSine(10, 10000, LineIn{10, 20000, 0});
    for (uint64_t k = 0; k < 44100; k += 37) {
        const double phase = 2 * std::numbers::pi * 10 * k / 44100 + std::numbers::pi / 4;
        ASSERT_NEAR(corner->sample(k), 10000 / std::sqrt(2.0) * std::sin(phase), 1.0) << k;
    }
    // The anti-alias filter: flat to 15 kHz, -6 dB at its corner, nothing left 3 kHz above.
    const auto peak = [](double hz) {
        const auto sine = makeSine(hz, 10000, LineIn{0, 20000, 0});
        int top = 0;
        for (uint64_t k = 0; k < 44100; ++k) top = std::max(top, std::abs(int{sine->sample(k)}));
        return top;
    };
    EXPECT_NEAR(peak(15000), 10000, 15);
    EXPECT_NEAR(peak(20000), 5000, 100);
    EXPECT_LE(peak(23000), 10);
    // Noise alone (a pulse of no height): its RMS, no offset, the same for the same seed only.
    const auto noise = makePulse({1000, 50, 0, 0}, LineIn{10, 20000, 100, 7});
    const auto again = makePulse({1000, 50, 0, 0}, LineIn{10, 20000, 100, 7});
    const auto other = makePulse({1000, 50, 0, 0}, LineIn{10, 20000, 100, 8});
    double sum = 0, squares = 0;
    int same = 0;
    for (uint64_t k = 0; k < 44100; ++k) {
        sum += noise->sample(k);
        squares += std::pow(noise->sample(k), 2);
        ASSERT_EQ(noise->sample(k), again->sample(k));
        same += noise->sample(k) == other->sample(k);
    }
    EXPECT_NEAR(std::sqrt(squares / 44100), 100, 2);
    EXPECT_NEAR(sum / 44100, 0, 2);
    EXPECT_LT(same, 44100 / 50);
    // Beyond 16 bits the converter limits.
    EXPECT_EQ(makePulse({100, 50, 40000, -40000}, LineIn{0, 20000, 0})->sample(100), 32767);
}

class SimSoundFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "sim_sound_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Writes interleaved 16-bit samples as a WAV file.
    std::string writeWav(const std::string& name, int rate, int channels,
                         const std::vector<int16_t>& samples) const {
        const std::string p = path(name);
        SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (f == nullptr) return p;
        sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
        return p;
    }

    // Writes mono floating-point samples (SF_FORMAT_FLOAT or SF_FORMAT_DOUBLE) as a WAV file.
    std::string writeFloatWav(const std::string& name, int encoding,
                              const std::vector<float>& samples) const {
        const std::string p = path(name);
        SF_INFO info{0, 44100, 1, SF_FORMAT_WAV | encoding, 0, 0};
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (f == nullptr) return p;
        sf_write_float(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
        return p;
    }

    fs::path dir_;
};

TEST_F(SimSoundFile, PlaysItsSamplesExactlyInALoopWithMonoOnBothChannels) {
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    for (int channels : {1, 2}) {
        std::vector<int16_t> samples(channels * 100);  // 100 frames
        for (auto& s : samples) s = static_cast<int16_t>(dist(rng));
        std::string error;
        auto source = openSoundFile(writeWav("f.wav", 44100, channels, samples), error);
        ASSERT_NE(source, nullptr) << error;
        // From the start, across the end of the file (twice), and far on the card's clock.
        for (uint64_t first : {0ull, 95ull, 1000ull * 100 + 3}) {
            std::vector<int16_t> out(2 * 250);
            source->render(first, out);
            for (size_t i = 0; i < 250; ++i) {
                const size_t frame = (first + i) % 100;
                ASSERT_EQ(out[2 * i], samples[channels * frame]) << channels << " " << first + i;
                ASSERT_EQ(out[2 * i + 1], samples[channels * frame + channels - 1]);
            }
        }
    }
}

TEST_F(SimSoundFile, FloatFilesPlayAtTheirLevelLimitedToFullScaleWithNaNSilent) {
    // Full scale 1.0 is 32768, as libsndfile reads 16-bit data; beyond it the value is limited.
    const std::vector<float> samples{0.5f,  -0.25f,        1.0f,  -1.0f, 1.5f,
                                     -2.0f, std::nanf(""), 1e30f, 0.0f,  -3e-5f};
    const std::vector<int16_t> expected{16384,  -8192, 32767, -32768, 32767,
                                        -32768, 0,     32767, 0,      -1};
    for (int encoding : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
        std::string error;
        auto source = openSoundFile(writeFloatWav("f.wav", encoding, samples), error);
        ASSERT_NE(source, nullptr) << error;
        std::vector<int16_t> out(2 * samples.size());
        source->render(0, out);
        for (size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(out[2 * i], expected[i]) << encoding << " sample " << i;
            EXPECT_EQ(out[2 * i + 1], expected[i]) << encoding << " sample " << i;
        }
    }
}

TEST_F(SimSoundFile, BytesInMemoryPlayAndAreRefusedAsTheFileIs) {
    std::vector<int16_t> samples(2 * 300);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 97 - 20000);
    const std::string p = writeWav("f.wav", 44100, 2, samples);
    std::ifstream in(p, std::ios::binary);
    const std::vector<char> chars{std::istreambuf_iterator<char>(in), {}};
    const auto bytes = std::as_bytes(std::span(chars));

    std::string error;
    auto fromFile = openSoundFile(p, error);
    auto fromMemory = openSoundData(bytes, "capture", error);
    ASSERT_NE(fromMemory, nullptr) << error;
    std::vector<int16_t> a(2 * 700), b(2 * 700);
    fromFile->render(250, a);
    fromMemory->render(250, b);
    EXPECT_EQ(a, b);

    // Cut inside the data: the same check as for a file, under the given name.
    EXPECT_EQ(openSoundData(bytes.first(bytes.size() - 7), "capture", error), nullptr);
    EXPECT_NE(error.find("\"capture\""), std::string::npos) << error;
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
    EXPECT_EQ(openSoundData({}, "nothing", error), nullptr);
    EXPECT_NE(error.find("\"nothing\" cannot be used"), std::string::npos) << error;
}

TEST_F(SimSoundFile, UnusableFilesAreRefusedWithTheirNameAndReason) {
    const std::vector<int16_t> some(2 * 1000, 1234);
    const auto cut = [&](const char* name, uintmax_t bytes) {
        const std::string p = writeWav(name, 44100, 2, some);
        fs::resize_file(p, fs::file_size(p) - bytes);  // header unchanged
        return p;
    };
    const struct {
        std::function<std::string()> make;  // writes the file, returns its path
        const char* reason;                 // part of the expected text
    } cases[] = {
        {[&] { return path("nothing-here.wav"); }, "No such file"},
        {[&] { return writeWav("rate.wav", 48000, 2, some); }, "48000 frames/s"},
        {[&] { return writeWav("three.wav", 44100, 3, std::vector<int16_t>(3000)); }, "3 channels"},
        {[&] { return writeWav("empty.wav", 44100, 2, {}); }, "no audio frames"},
        {[&] { return cut("half.wav", 2000); }, "truncated"},
        {[&] { return cut("midframe.wav", 3); }, "truncated"},
        {[&] {
             std::ofstream(path("text.wav")) << "this is not a sound file, only some text\n";
             return path("text.wav");
         },
         "cannot be used"},
        {[&] {
             fs::create_directory(path("takes.wav"));
             return path("takes.wav");
         },
         "it is a folder"},
    };
    for (const auto& c : cases) {
        const std::string p = c.make();
        std::string error;
        EXPECT_EQ(openSoundFile(p, error), nullptr) << p;
        EXPECT_NE(error.find(p), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

}  // namespace
