// TLZR: the LZRW1/KH codec. A byte-oriented LZ77 coder over blocks of at most
// 32768 bytes, with one hash probe per item, matches of 3 to 18 bytes within
// 4095 bytes, run items for 16 to 4095 equal bytes, and no entropy stage.
// Every block is coded on its own; one that would not shrink is stored.
#pragma once

#include <cstdint>
#include <memory>

namespace stowaway {

class TLZR {
 public:
  // Raises ELzrw1KHCompressor "LZRW1KH : no memory for HASH table".
  TLZR();
  ~TLZR();
  TLZR(const TLZR&) = delete;
  TLZR& operator=(const TLZR&) = delete;

 private:
  // For each hash value, the most recent block position looked up with it;
  // 0xFFFF = empty.
  std::unique_ptr<uint16_t[]> HashTable;
};

}  // namespace stowaway
