// Stand-ins for tests of where and how the component reads: a stream that
// records its reads, a stream of any length that reads as zeros, and a file
// layer that refuses one kind of open.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
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

// The native file layer, but one kind of open fails.
class RefusingFiles final : public FileSystem {
 public:
  enum class Refuse { ReadWriteProbe, ReadOpen };
  explicit RefusingFiles(Refuse refuse) : refuse_(refuse) {}

  FileHandle OpenRead(const std::string& path) override {
    return refuse_ == Refuse::ReadOpen ? -1 : Native().OpenRead(path);
  }
  FileHandle OpenReadShared(const std::string& path) override { return Native().OpenReadShared(path); }
  FileHandle OpenReadWriteShared(const std::string& path) override {
    return refuse_ == Refuse::ReadWriteProbe ? -1 : Native().OpenReadWriteShared(path);
  }
  FileHandle Create(const std::string& path) override { return Native().Create(path); }
  int32_t Read(FileHandle file, void* buffer, int32_t count) override { return Native().Read(file, buffer, count); }
  int32_t Write(FileHandle file, const void* buffer, int32_t count) override {
    return Native().Write(file, buffer, count);
  }
  int64_t Seek(FileHandle file, int64_t offset, SeekOrigin origin) override {
    return Native().Seek(file, offset, origin);
  }
  void Close(FileHandle file) override { Native().Close(file); }
  bool Delete(const std::string& path) override { return Native().Delete(path); }
  bool CreateFolder(const std::string& path) override { return Native().CreateFolder(path); }

 private:
  static FileSystem& Native() { return NativeFileSystem(); }
  Refuse refuse_;
};

}  // namespace stowaway::testing
