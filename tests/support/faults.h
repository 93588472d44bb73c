// A stream and a file layer that fail, or come up short, at the k-th call of
// one kind, for tests of every failure path.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "platform/file.h"
#include "platform/stream.h"

namespace stowaway::testing {

enum class FaultOp { Read, Write, Seek };

enum class FaultKind {
  Fail,   // the call reports a failure (-1) and moves nothing
  Short,  // the call moves half of what was asked (a read: possibly 0 bytes)
};

struct Fault {
  FaultOp op = FaultOp::Read;
  int nth = 0;  // 1-based; 0 = never
  FaultKind kind = FaultKind::Fail;

  bool Hits(FaultOp call, int count) const { return nth > 0 && call == op && count == nth; }
};

// Wraps another stream; counts its calls and breaks the one the fault names.
class FaultyStream final : public TStream {
 public:
  explicit FaultyStream(TStream& inner, Fault fault = {}) : inner_(inner), fault_(fault) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

  int reads = 0;
  int writes = 0;
  int seeks = 0;

 private:
  TStream& inner_;
  Fault fault_;
};

// The native file layer with one call broken, which also tracks the files it
// has open so that a test can check that nothing was left open.
class FaultyFiles final : public FileSystem {
 public:
  explicit FaultyFiles(Fault fault = {}) : fault_(fault) {}

  FileHandle OpenRead(const std::string& path) override { return Track(Native().OpenRead(path)); }
  FileHandle OpenReadShared(const std::string& path) override {
    return Track(Native().OpenReadShared(path));
  }
  FileHandle OpenReadWriteShared(const std::string& path) override {
    return Track(Native().OpenReadWriteShared(path));
  }
  FileHandle Create(const std::string& path) override { return Track(Native().Create(path)); }
  int32_t Read(FileHandle file, void* buffer, int32_t count) override;
  int32_t Write(FileHandle file, const void* buffer, int32_t count) override;
  int64_t Seek(FileHandle file, int64_t offset, SeekOrigin origin) override;
  void Close(FileHandle file) override;
  bool Delete(const std::string& path) override { return Native().Delete(path); }
  bool CreateFolder(const std::string& path) override { return Native().CreateFolder(path); }

  size_t OpenCount() const { return open_.size(); }

  int reads = 0;
  int writes = 0;
  int seeks = 0;

 private:
  static FileSystem& Native() { return NativeFileSystem(); }
  FileHandle Track(FileHandle file);

  Fault fault_;
  std::set<FileHandle> open_;
};

}  // namespace stowaway::testing
