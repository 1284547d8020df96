#include "gateway/BodyHash.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
constexpr std::size_t kBlock = 32;

std::uint64_t Rotate(std::uint64_t value, int bits) {
    return value << bits | value >> (64 - bits);
}

std::uint64_t Load(const unsigned char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

std::uint64_t Finish(std::uint64_t value) {
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDull;
    value ^= value >> 33;
    value *= 0xC4CEB9FE1A85EC53ull;
    return value ^ (value >> 33);
}
} // namespace

void BodyHash::Mix(std::uint64_t word) {
    std::uint64_t& lane = m_lanes[m_lane];
    lane = Rotate(lane ^ (word * kMultiplier), 31) * kMultiplier;
    m_lane = (m_lane + 1) & 3u;
}

void BodyHash::Add(std::string_view bytes) {
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    // An empty view may carry no pointer at all, which memcpy must not see.
    if (left == 0)
        return;
    m_length += left;
    if (m_pendingLength > 0) {
        const std::size_t take = std::min(left, kBlock - m_pendingLength);
        std::memcpy(m_pending + m_pendingLength, at, take);
        m_pendingLength += take;
        at += take;
        left -= take;
        if (m_pendingLength < kBlock)
            return;
        for (std::size_t i = 0; i < kBlock; i += 8)
            Mix(Load(m_pending + i));
        m_pendingLength = 0;
    }
    // Whole blocks straight from the input: four independent lanes keep the
    // multiplier busy.
    for (; left >= kBlock; at += kBlock, left -= kBlock) {
        for (std::size_t i = 0; i < kBlock; i += 8)
            Mix(Load(at + i));
    }
    std::memcpy(m_pending, at, left);
    m_pendingLength = left;
}

std::uint64_t BodyHash::Value() const {
    BodyHash tail = *this;
    // The bytes short of a block, then the length, so bodies that differ
    // only in trailing zero bytes differ.
    unsigned char last[kBlock] = {};
    std::memcpy(last, m_pending, m_pendingLength);
    for (std::size_t i = 0; i < kBlock; i += 8)
        tail.Mix(Load(last + i));
    tail.Mix(m_length);
    std::uint64_t value = m_length;
    for (const std::uint64_t lane : tail.m_lanes)
        value = Rotate(value ^ Finish(lane), 27) * kMultiplier;
    return Finish(value);
}

std::uint64_t BodyHash::Of(std::string_view bytes) {
    BodyHash hash;
    hash.Add(bytes);
    return hash.Value();
}
