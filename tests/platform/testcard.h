// The mixer tests' sound card: alsa-lib's external control plugin of testcard_ctl.c, loaded through
// a configuration this header writes. A program that includes it registers the environment that
// points ALSA_CONFIG_PATH at that configuration (read when the first control is opened). Two
// control devices: kSwitchCard selects its recording source with a "Capture Source" enumeration
// (exclusive capture switches in the simple mixer), kEnumCard with an "Input Source" element.
// Their values live in a file per card; OtherHandle reads and writes them as another program would.
#pragma once

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testcard {

inline constexpr char kSwitchCard[] = "soundscope_testcard";
inline constexpr char kEnumCard[] = "soundscope_testcard_input";

class Environment : public ::testing::Environment {
  public:
    static inline std::filesystem::path dir;

    void SetUp() override {
        char pattern[] = "/tmp/alsa_mixer_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::ofstream(dir / "asound.conf")
            << "ctl_type.testcard { lib \"" << TESTCARD_PLUGIN << "\" }\n"
            << "ctl." << kSwitchCard << " { type testcard state \"" << (dir / kSwitchCard).string()
            << "\" }\n"
            << "ctl." << kEnumCard << " { type testcard state \"" << (dir / kEnumCard).string()
            << "\" selector \"Input Source\" }\n";
        const std::string path = "/usr/share/alsa/alsa.conf:" + (dir / "asound.conf").string();
        ASSERT_EQ(setenv("ALSA_CONFIG_PATH", path.c_str(), 1), 0);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Back to the card's initial values: the next handle to open it writes them.
    static void reset() {
        std::filesystem::remove(dir / kSwitchCard);
        std::filesystem::remove(dir / kEnumCard);
    }
};

// A control handle of its own on a card, as another program would hold: its reads see the values
// behind the mixer, its writes are changes the mixer hears of.
class OtherHandle {
  public:
    explicit OtherHandle(const char* card) {
        snd_ctl_t* ctl = nullptr;
        const int err = snd_ctl_open(&ctl, card, 0);
        EXPECT_GE(err, 0) << snd_strerror(err);
        ctl_.reset(ctl);
    }

    std::vector<long> read(const char* element) const {
        Value v(element);
        std::vector<long> values;
        if (const int err = snd_ctl_elem_read(ctl_.get(), v.value); err < 0) {
            ADD_FAILURE() << element << ": " << snd_strerror(err);
            return values;
        }
        for (unsigned c = 0; c < count(v); ++c) {
            values.push_back(snd_ctl_elem_value_get_integer(v.value, c));
        }
        return values;
    }
    // An integer element's bounds.
    std::pair<long, long> range(const char* element) const {
        const Value v(element);
        snd_ctl_elem_info_t* info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        if (!describe(v, info)) {
            ADD_FAILURE() << element << ": no such element";
            return {0, 0};
        }
        return {snd_ctl_elem_info_get_min(info), snd_ctl_elem_info_get_max(info)};
    }
    unsigned readEnum(const char* element) const {
        Value v(element);
        EXPECT_GE(snd_ctl_elem_read(ctl_.get(), v.value), 0) << element;
        return snd_ctl_elem_value_get_enumerated(v.value, 0);
    }
    void write(const char* element, const std::vector<long>& values) const {
        Value v(element);
        for (unsigned c = 0; c < values.size(); ++c) {
            snd_ctl_elem_value_set_integer(v.value, c, values[c]);
        }
        const int err = snd_ctl_elem_write(ctl_.get(), v.value);
        EXPECT_GE(err, 0) << element << ": " << snd_strerror(err);
    }

  private:
    struct Value {
        explicit Value(const char* element) {
            snd_ctl_elem_value_malloc(&value);
            snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
            snd_ctl_elem_value_set_name(value, element);
        }
        ~Value() { snd_ctl_elem_value_free(value); }
        Value(const Value&) = delete;
        Value& operator=(const Value&) = delete;
        snd_ctl_elem_value_t* value = nullptr;
    };
    // Fills `info` for the element of `v`; false when the card has no such element.
    bool describe(const Value& v, snd_ctl_elem_info_t* info) const {
        snd_ctl_elem_id_t* id = nullptr;
        snd_ctl_elem_id_alloca(&id);
        snd_ctl_elem_value_get_id(v.value, id);
        snd_ctl_elem_info_set_id(info, id);
        return snd_ctl_elem_info(ctl_.get(), info) >= 0;
    }
    unsigned count(const Value& v) const {
        snd_ctl_elem_info_t* info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        return describe(v, info) ? snd_ctl_elem_info_get_count(info) : 0;
    }

    std::unique_ptr<snd_ctl_t, int (*)(snd_ctl_t*)> ctl_{nullptr, snd_ctl_close};
};

}  // namespace testcard
