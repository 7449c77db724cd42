#include "instrument/Fingerprint.h"

#include <cstring>

namespace instrument {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;
constexpr size_t kStripe = 32;

uint64_t wordAt(const std::byte* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

uint64_t round(uint64_t lane, uint64_t input) {
    return std::rotl(lane + input * kPrime2, 31) * kPrime1;
}

uint64_t merge(uint64_t hash, uint64_t lane) {
    return (hash ^ round(0, lane)) * kPrime1 + kPrime4;
}

// Every input bit reaches every output bit.
uint64_t avalanche(uint64_t hash) {
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    return hash ^ (hash >> 32);
}

}  // namespace

void Fingerprint::add(std::span<const std::byte> bytes) {
    const std::byte* p = bytes.data();
    size_t left = bytes.size();
    uint64_t lane1 = state_ + kPrime1 + kPrime2, lane2 = state_ + kPrime2, lane3 = state_,
             lane4 = state_ - kPrime1;
    for (; left >= kStripe; left -= kStripe, p += kStripe) {
        lane1 = round(lane1, wordAt(p));
        lane2 = round(lane2, wordAt(p + 8));
        lane3 = round(lane3, wordAt(p + 16));
        lane4 = round(lane4, wordAt(p + 24));
    }
    uint64_t hash =
        std::rotl(lane1, 1) + std::rotl(lane2, 7) + std::rotl(lane3, 12) + std::rotl(lane4, 18);
    for (const uint64_t lane : {lane1, lane2, lane3, lane4}) hash = merge(hash, lane);
    hash += bytes.size();  // blocks that differ only in trailing zero bytes differ
    for (; left >= 8; left -= 8, p += 8)
        hash = std::rotl(hash ^ round(0, wordAt(p)), 27) * kPrime1 + kPrime4;
    for (; left > 0; --left, ++p)
        hash = std::rotl(hash ^ (static_cast<uint64_t>(*p) * kPrime5), 11) * kPrime1;
    state_ = avalanche(hash);
}

void Fingerprint::add(uint64_t value) {
    state_ = avalanche(std::rotl(state_ ^ round(0, value), 27) * kPrime1 + kPrime4);
}

}  // namespace instrument
