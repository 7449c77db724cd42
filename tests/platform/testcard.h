// The mixer tests' sound card: alsa-lib's external control plugin of testcard_ctl.c, loaded through
// a configuration this header writes. A program that includes it registers the environment that
// points ALSA_CONFIG_PATH at that configuration (read when the first control is opened). Its
// control devices, one per mixer family (testcard_ctl.c's profiles): kSwitchCard, a classic codec
// that selects its recording source with a two-channel "Capture Source" enumeration (exclusive
// capture switches in the simple mixer), kEnumCard the same with a two-channel "Input Source"
// element; kHdaCard, kUsbCard, kSwitchesCard and kServerCard as their profiles say. Their values
// live in a file per card; OtherHandle reads and writes them as another program would.
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
inline constexpr char kHdaCard[] = "soundscope_testcard_hda";
inline constexpr char kUsbCard[] = "soundscope_testcard_usb";
inline constexpr char kSwitchesCard[] = "soundscope_testcard_switches";
inline constexpr char kServerCard[] = "soundscope_testcard_server";

// Each card and the fields of its configuration after its state file.
struct CardConfig {
    const char* name;
    const char* fields;
};
inline constexpr CardConfig kCards[] = {
    {kSwitchCard, ""},
    {kEnumCard, " selector \"Input Source\""},
    {kHdaCard, " profile \"hda\""},
    {kUsbCard, " profile \"usb\""},
    {kSwitchesCard, " profile \"switches\""},
    {kServerCard, " profile \"server\""},
};

class Environment : public ::testing::Environment {
  public:
    static inline std::filesystem::path dir;

    void SetUp() override {
        char pattern[] = "/tmp/alsa_mixer_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::ofstream conf(dir / "asound.conf");
        conf << "ctl_type.testcard { lib \"" << TESTCARD_PLUGIN << "\" }\n";
        for (const CardConfig& card : kCards) {
            conf << "ctl." << card.name << " { type testcard state \"" << (dir / card.name).string()
                 << '"' << card.fields << " }\n";
        }
        conf.close();
        const std::string path = "/usr/share/alsa/alsa.conf:" + (dir / "asound.conf").string();
        ASSERT_EQ(setenv("ALSA_CONFIG_PATH", path.c_str(), 1), 0);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Back to the card's initial values: the next handle to open it writes them.
    static void reset() {
        for (const CardConfig& card : kCards) std::filesystem::remove(dir / card.name);
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

    // Every channel's value of an integer, boolean or enumerated element.
    std::vector<long> read(const char* element, unsigned index = 0) const {
        Value v(element, index);
        std::vector<long> values;
        if (const int err = snd_ctl_elem_read(ctl_.get(), v.value); err < 0) {
            ADD_FAILURE() << element << ": " << snd_strerror(err);
            return values;
        }
        snd_ctl_elem_info_t* info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        if (!describe(v, info)) return values;
        const bool enumerated = snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED;
        for (unsigned c = 0; c < snd_ctl_elem_info_get_count(info); ++c) {
            values.push_back(enumerated ? long{snd_ctl_elem_value_get_enumerated(v.value, c)}
                                        : snd_ctl_elem_value_get_integer(v.value, c));
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
    // An enumerated element's item on its first channel.
    unsigned readEnum(const char* element) const {
        const std::vector<long> items = read(element);
        return items.empty() ? ~0u : static_cast<unsigned>(items[0]);
    }
    void write(const char* element, const std::vector<long>& values, unsigned index = 0) const {
        Value v(element, index);
        snd_ctl_elem_info_t* info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        const bool enumerated =
            describe(v, info) && snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED;
        for (unsigned c = 0; c < values.size(); ++c) {
            if (enumerated) {
                snd_ctl_elem_value_set_enumerated(v.value, c, static_cast<unsigned>(values[c]));
            } else {
                snd_ctl_elem_value_set_integer(v.value, c, values[c]);
            }
        }
        const int err = snd_ctl_elem_write(ctl_.get(), v.value);
        EXPECT_GE(err, 0) << element << ": " << snd_strerror(err);
    }

    // Every element of the card with its values: what "as it was" means for a whole card.
    std::vector<std::pair<std::string, std::vector<long>>> all() const {
        snd_ctl_elem_list_t* list = nullptr;
        snd_ctl_elem_list_alloca(&list);
        std::vector<std::pair<std::string, std::vector<long>>> values;
        if (snd_ctl_elem_list(ctl_.get(), list) < 0) return values;
        const unsigned count = snd_ctl_elem_list_get_count(list);
        if (snd_ctl_elem_list_alloc_space(list, count) < 0) return values;
        if (snd_ctl_elem_list(ctl_.get(), list) >= 0) {
            for (unsigned i = 0; i < snd_ctl_elem_list_get_used(list); ++i) {
                const char* name = snd_ctl_elem_list_get_name(list, i);
                const unsigned index = snd_ctl_elem_list_get_index(list, i);
                values.emplace_back(std::string(name) + (index ? " #" + std::to_string(index) : ""),
                                    read(name, index));
            }
        }
        snd_ctl_elem_list_free_space(list);
        return values;
    }

  private:
    struct Value {
        explicit Value(const char* element, unsigned index = 0) {
            snd_ctl_elem_value_malloc(&value);
            snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
            snd_ctl_elem_value_set_name(value, element);
            snd_ctl_elem_value_set_index(value, index);
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

    std::unique_ptr<snd_ctl_t, int (*)(snd_ctl_t*)> ctl_{nullptr, snd_ctl_close};
};

}  // namespace testcard
