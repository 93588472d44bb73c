// TLZR: the LZRW1/KH codec. A byte-oriented LZ77 coder over blocks of at most
// 32768 bytes, with one hash probe per item, matches of 3 to 18 bytes within
// 4095 bytes, run items for 16 to 4095 equal bytes, and no entropy stage.
// Every block is coded on its own; one that would not shrink is stored.
//
// A coded block starts with a flag byte, 0x80 (stored: the source bytes
// follow unchanged) or 0x40 (coded: groups follow). A group is a 16-bit
// control word, high byte first, one bit per item from bit 15 down (0 =
// literal, 1 = copy), and up to 16 items:
//   literal  1 byte   the byte
//   match    2 bytes  offset × 16 + (length − 3), high byte first;
//                     offset 1 to 4095, length 3 to 18
//   run      4 bytes  0x00, length − 16 (high byte first), the byte;
//                     length 16 to 4095
// A copy item whose first 12 bits are 0 is a run, any other is a match.
#pragma once

#include <cstdint>
#include <memory>

namespace stowaway {

// The largest source block, and the most a coded block decodes to.
inline constexpr int32_t LzrwBlockSize = 32768;
// CompressBlock may write this many bytes beyond the source size before it
// gives up and stores the block.
inline constexpr int32_t LzrwCompressSlack = 6;
// What DecompressBlock returns for a block that breaks the format's limits.
inline constexpr int32_t LzrwCorruptBlock = -1;

class TLZR {
 public:
  // Raises ELzrw1KHCompressor "LZRW1KH : no memory for HASH table".
  TLZR();
  ~TLZR();
  TLZR(const TLZR&) = delete;
  TLZR& operator=(const TLZR&) = delete;

  // Codes size (0 to LzrwBlockSize) bytes of source into dest, which must
  // have room for size + LzrwCompressSlack bytes, and returns the coded
  // length: 1 to size + 1. The result depends on the block alone.
  uint16_t CompressBlock(const uint8_t* source, uint8_t* dest, uint16_t size);

  // Decodes the coded block of size bytes at source into dest, which must
  // have room for LzrwBlockSize bytes, and returns the number of bytes
  // decoded. Returns LzrwCorruptBlock, having read nothing outside source's
  // size bytes and written nothing outside dest's LzrwBlockSize bytes, when
  // an item or control word is cut off by the block's end, or a copy would
  // reach before the block's first byte or beyond its LzrwBlockSize-th.
  static int32_t DecompressBlock(const uint8_t* source, uint8_t* dest, uint16_t size);

 private:
  struct Match {
    int32_t start;
    int32_t length;
  };
  // Looks up and updates entry index of table, the hash table, for the
  // position here of the block at source, with left bytes from here to the
  // block's end, at least three. A length under 3 is no match.
  static Match FindMatch(uint16_t* table, const uint8_t* source, const uint8_t* here, uint32_t index,
                         int32_t left);

  // For each hash value, the most recent block position looked up with it;
  // 0xFFFF = empty.
  std::unique_ptr<uint16_t[]> HashTable;
};

}  // namespace stowaway
