// The fingerprint that tells whether an idle pass changed anything: any difference in what is
// folded in must show.
#include "instrument/Fingerprint.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace {

uint64_t of(const std::vector<std::byte>& bytes, uint64_t before = 0) {
    instrument::Fingerprint f;
    f.add(before);
    f.add(bytes);
    return f.value();
}

TEST(Fingerprint, EveryBitLengthAndEarlierValueGivesItsOwnValue) {
    // 3 stripes of 32 bytes, one 8-byte word and 5 single bytes: every path through a block.
    std::vector<std::byte> bytes(3 * 32 + 8 + 5);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>(i * 37 + 11);
    std::set<uint64_t> seen{of(bytes), of(bytes, 1)};
    for (size_t bit = 0; bit < bytes.size() * 8; ++bit) {
        bytes[bit / 8] ^= static_cast<std::byte>(1u << (bit % 8));
        EXPECT_TRUE(seen.insert(of(bytes)).second) << "bit " << bit;
        bytes[bit / 8] ^= static_cast<std::byte>(1u << (bit % 8));
    }
    for (size_t length = 0; length <= 70; ++length)  // zero bytes at the end count
        EXPECT_TRUE(seen.insert(of(std::vector<std::byte>(length))).second) << length;
}

}  // namespace
