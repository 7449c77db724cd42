// Names cut to their fields, for both mixer backends (platform/MixerChecks.h); the checks on
// requests are held to by the contract suite, on each backend.

#include <gtest/gtest.h>

#include <string>

#include "platform/MixerChecks.h"

namespace {

using platform::cutName;
using platform::kMixerShortNameChars;

// A short name holds at most 15 bytes; a character that would end past them goes whole.
TEST(MixerNames, ACharacterThatDoesNotFitIsLeftOutWhole) {
    const std::string a13(13, 'a'), a14(14, 'a'), a15(15, 'a');
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", note = "\xF0\x9F\x8E\xB5";
    const struct {
        std::string name, cut;
    } cases[] = {
        {"", ""},
        {a15, a15},
        {a15 + "b", a15},
        {a13 + e, a13 + e},  // ends on byte 15
        {a14 + e, a14},      // would end on byte 16
        {std::string(12, 'a') + euro, std::string(12, 'a') + euro},
        {a13 + euro, a13},  // three bytes, two of them past the field
        {a14 + euro, a14},
        {note + note + note + note, note + note + note},
        {a15 + e + e, a15},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cutName(c.name, kMixerShortNameChars), c.cut) << c.name.size() << " bytes";
    }
}

}  // namespace
