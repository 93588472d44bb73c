// Stand-ins for tests of where and how the component reads: a stream that
// records its reads, and a stream of any length that reads as zeros.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/stream.h"

namespace stowaway::testing {

// Wraps another stream and records the position and count of every read.
class RecordingStream final : public TStream {
 public:
  explicit RecordingStream(TStream& inner) : inner_(inner) {}

  int32_t Read(void* buffer, int32_t count) override {
    reads.emplace_back(inner_.Position(), count);
    return inner_.Read(buffer, count);
  }
  int32_t Write(const void* buffer, int32_t count) override { return inner_.Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_.Seek(offset, origin); }

  std::vector<std::pair<int64_t, int32_t>> reads;

 private:
  TStream& inner_;
};

// size zero bytes, held nowhere.
class ZeroStream final : public TStream {
 public:
  explicit ZeroStream(int64_t size) : size_(size) {}

  int32_t Read(void* buffer, int32_t count) override {
    const auto got = static_cast<int32_t>(std::clamp<int64_t>(size_ - position_, 0, count));
    std::memset(buffer, 0, static_cast<size_t>(got));
    position_ += got;
    return got;
  }
  int32_t Write(const void*, int32_t) override { return -1; }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    const int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : size_;
    if (base + offset < 0) return -1;
    position_ = base + offset;
    return position_;
  }

 private:
  int64_t size_;
  int64_t position_ = 0;
};

}  // namespace stowaway::testing
