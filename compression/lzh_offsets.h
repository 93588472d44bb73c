// The fixed prefix code for the upper 6 bits of an LZH match offset, and its
// inverse for the decoder. Shorter codes go to nearer offsets.
#pragma once

#include <array>
#include <cstdint>

namespace stowaway::lzh_offsets {

struct Tables {
  std::array<uint8_t, 64> CodeLength{};    // OffsetCodeLength[v]
  std::array<uint8_t, 64> Code{};          // OffsetCode[v], left-aligned in a byte
  std::array<uint8_t, 256> HighFromByte{};   // v whose code prefixes the byte
  std::array<uint8_t, 256> LengthFromByte{};  // that code's length
};

// Canonical assignment in increasing order of v: the first code is 000, each
// next one the previous plus 1, shifted left by the growth in length.
constexpr Tables Build() {
  Tables t;
  for (int v = 0; v < 64; ++v) {
    t.CodeLength[v] = v < 1 ? 3 : v < 4 ? 4 : v < 12 ? 5 : v < 24 ? 6 : v < 48 ? 7 : 8;
  }
  unsigned code = 0;
  for (int v = 0; v < 64; ++v) {
    if (v > 0) code = (code + 1) << (t.CodeLength[v] - t.CodeLength[v - 1]);
    t.Code[v] = static_cast<uint8_t>(code << (8 - t.CodeLength[v]));
    const unsigned span = 1u << (8 - t.CodeLength[v]);
    for (unsigned b = t.Code[v]; b < t.Code[v] + span; ++b) {
      t.HighFromByte[b] = static_cast<uint8_t>(v);
      t.LengthFromByte[b] = t.CodeLength[v];
    }
  }
  return t;
}

inline constexpr Tables kTables = Build();

static_assert(kTables.Code[1] == 0x20 && kTables.Code[4] == 0x50 && kTables.Code[11] == 0x88);
static_assert(kTables.Code[12] == 0x90 && kTables.Code[24] == 0xC0 && kTables.Code[48] == 0xF0);
static_assert(kTables.Code[63] == 0xFF && kTables.HighFromByte[0x93] == 12);

}  // namespace stowaway::lzh_offsets
