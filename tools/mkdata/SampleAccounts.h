#pragma once
// Sample account files: realistic Chinese names of varying lengths, some that
// fill their field, fields padded with blanks or with NUL bytes, all GBK and in
// the exact record layouts the tool reads. The same seed gives the same bytes.

#include <cstdint>
#include <string>

struct SampleCounts {
    int bank = 8;    // records of yhzh.dat
    int reserve = 8; // records of agbfj.dat
    int bShare = 4;  // records of bgbfj.dat
};

// The contents of yhzh.dat: `count` records of 122 bytes.
std::string MakeBankFile(int count, std::uint32_t seed);

// The contents of agbfj.dat (bShare false) or bgbfj.dat (bShare true): `count`
// records of 48 bytes.
std::string MakeReserveFile(int count, std::uint32_t seed, bool bShare);
