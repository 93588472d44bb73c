// DecompressBlock alone: any coded block, held in a buffer of exactly its
// size, decodes into a buffer of exactly LzrwBlockSize bytes without reading
// or writing outside either, or is refused as corrupt.
#include <algorithm>
#include <cstring>
#include <memory>

#include "compression/LZRW1KH.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stowaway;
  const auto length = static_cast<uint16_t>(std::min<size_t>(size, 0xFFFF));
  // Heap blocks of the exact sizes, so that AddressSanitizer sees one byte
  // beyond either.
  const auto source = std::make_unique<uint8_t[]>(length);
  std::copy(data, data + length, source.get());
  const auto dest = std::make_unique<uint8_t[]>(LzrwBlockSize);

  const int32_t decoded = TLZR::DecompressBlock(source.get(), dest.get(), length);
  fuzz::Require(decoded == LzrwCorruptBlock || (decoded >= 0 && decoded <= LzrwBlockSize),
                "DecompressBlock returned an impossible length");
  if (length >= 2 && source[0] == 0x80 && length - 1 <= LzrwBlockSize) {
    fuzz::Require(decoded == length - 1 && std::memcmp(dest.get(), source.get() + 1, length - 1u) == 0,
                  "a stored block did not come out as stored");
  }
  return 0;
}
