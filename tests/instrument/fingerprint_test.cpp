// The fingerprint that tells whether an idle pass changed anything: any difference in what is
// folded in must show.
#include "instrument/Fingerprint.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <set>
#include <vector>

namespace {

using instrument::Fingerprint;

uint64_t of(std::span<const std::byte> bytes) {
    Fingerprint f;
    f.add(bytes);
    return f.value();
}

// 3 stripes of 32 bytes, one 8-byte word and 5 single bytes: every path of a block.
constexpr size_t kBlock = 3 * 32 + 8 + 5;

TEST(Fingerprint, EverySingleBitOfABlockGivesItsOwnValue) {
    std::vector<std::byte> bytes(kBlock);
    for (size_t i = 0; i < kBlock; ++i) bytes[i] = static_cast<std::byte>(i * 37 + 11);
    std::set<uint64_t> seen{of(bytes)};
    for (size_t bit = 0; bit < kBlock * 8; ++bit) {
        bytes[bit / 8] ^= static_cast<std::byte>(1u << (bit % 8));
        EXPECT_TRUE(seen.insert(of(bytes)).second) << "bit " << bit;
        bytes[bit / 8] ^= static_cast<std::byte>(1u << (bit % 8));
    }
}

TEST(Fingerprint, LengthOrderAndEarlierValuesCount) {
    // Zero bytes at a block's end, at every length around the stripe and word sizes.
    std::set<uint64_t> zeros;
    for (size_t length = 0; length <= 70; ++length)
        EXPECT_TRUE(zeros.insert(of(std::vector<std::byte>(length))).second) << length;

    Fingerprint oneTwo, twoOne, twoAlone;
    oneTwo.add(uint64_t{1});
    oneTwo.add(uint64_t{2});
    twoOne.add(uint64_t{2});
    twoOne.add(uint64_t{1});
    twoAlone.add(uint64_t{2});
    EXPECT_NE(oneTwo.value(), twoOne.value());
    EXPECT_NE(twoOne.value(), twoAlone.value());

    // A block of values as words, or as the same values one by one: neither equals the other,
    // but each is the same every time.
    std::array<int32_t, 9> values{};
    std::iota(values.begin(), values.end(), -4);
    Fingerprint block, again;
    block.addArray(std::span<const int32_t>(values));
    again.addArray(std::span<const int32_t>(values));
    EXPECT_EQ(block.value(), again.value());
    values[8] = 5;
    Fingerprint changed;
    changed.addArray(std::span<const int32_t>(values));
    EXPECT_NE(block.value(), changed.value());

    // Doubles by their bits: 0.0 and -0.0 are different states.
    Fingerprint plus, minus;
    plus.addValue(0.0);
    minus.addValue(-0.0);
    EXPECT_NE(plus.value(), minus.value());
}

}  // namespace
