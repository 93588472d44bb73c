// What the fuzz targets share: a check that stops the run the way libFuzzer
// reports as a crash, a stream that takes any amount of output, and a
// stream-mode decompression of bytes in memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "compression/LZRW1.h"
#include "compression/bytes.h"
#include "platform/exception.h"
#include "platform/stream.h"

namespace stowaway::fuzz {

// Stops the run with what was found; an abort is a crash to libFuzzer.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz: property broken: %s\n", what);
  std::abort();
}

// The largest original size a stream target lets a header announce: a
// larger one decodes the same way for longer, and one execution is to stay
// well under a millisecond.
inline constexpr uint32_t MaxDeclaredSize = 16384;

// Takes writes up to a limit and keeps only the count: decoders may produce
// far more than their input, and only the amount is checked. Past the limit
// a write fails, as on a full disk.
class CountingStream final : public TStream {
 public:
  explicit CountingStream(int64_t limit = INT64_MAX) : limit_(limit) {}
  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void*, int32_t count) override {
    if (size_ + count > limit_) return -1;
    size_ += count;
    position_ = size_;
    return count;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    const int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : size_;
    if (base + offset < 0) return -1;
    position_ = base + offset;
    return position_;
  }

  int64_t Written() const { return size_; }

 private:
  int64_t limit_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A packed stream: the signature, then the fuzzer's bytes (the size field
// and the body), the size brought within MaxDeclaredSize.
inline std::vector<uint8_t> WithSignature(uint32_t signature, const uint8_t* data, size_t size) {
  std::vector<uint8_t> packed(4 + size);
  StoreLE32(packed.data(), signature);
  std::copy(data, data + size, packed.begin() + 4);
  if (size >= 4) StoreLE32(packed.data() + 4, LoadLE32(data) % (MaxDeclaredSize + 1));
  return packed;
}

// Decompresses packed in stream mode. A failure of the system's own is an
// answer; anything else (another exception, a crash) escapes to libFuzzer.
// Whatever it returns must be what it wrote, and a success must have
// written exactly the size the header announced.
inline void DecompressChecked(const std::vector<uint8_t>& packed) {
  TMemoryStream in(packed);
  // A block beyond the announced size is room enough to see a decoder
  // overrun it.
  CountingStream out(MaxDeclaredSize + BlockSize);
  Tlzrw1 codec;
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  int32_t written = 0;
  try {
    written = codec.Decompress();
  } catch (const Exception&) {
    Require(codec.BytesWritten <= out.Written(), "a progress point counts bytes never written");
    return;
  }
  Require(written == out.Written(), "Decompress returned another count than it wrote");
  Require(packed.size() >= 8, "Decompress succeeded without a whole header");
  const auto announced = static_cast<int32_t>(LoadLE32(packed.data() + 4));
  Require(written == announced, "Decompress succeeded with another size than the header's");
  Require(codec.BytesRead <= static_cast<int64_t>(packed.size()), "more bytes counted than read");
}

}  // namespace stowaway::fuzz
