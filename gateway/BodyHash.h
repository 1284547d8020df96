#pragma once
// The hash of an upload body that the record of a processed request keeps, so
// that a request sent again can be told from another one with the same
// serial. It is fed in pieces as the body arrives: a body read only to be
// compared need not be kept whole. The pieces may be cut anywhere.

#include <cstdint>
#include <string_view>

class BodyHash {
public:
    void Add(std::string_view bytes);
    std::uint64_t Value() const;
    static std::uint64_t Of(std::string_view bytes);

private:
    void Mix(std::uint64_t word);

    std::uint64_t m_lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                                0x082EFA98EC4E6C89ull};
    unsigned char m_pending[32] = {};
    std::size_t m_pendingLength = 0;
    std::uint64_t m_length = 0;
    unsigned m_lane = 0;
};
