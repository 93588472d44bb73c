// A stream and a file layer that fail, or come up short, at the k-th call of
// one kind, or refuse writes once they hold N bytes, for tests of every
// failure path.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/stream.h"

namespace stowaway::testing {

enum class FaultOp {
  Read,
  Write,
  Seek,  // every seek, size queries included
  Size,  // a seek to the end: how streams and files are measured
};

enum class FaultKind {
  Fail,   // the call reports a failure (-1) and moves nothing
  Short,  // a read or write moves half of what was asked (possibly 0 bytes)
};

struct Fault {
  FaultOp op = FaultOp::Read;
  int nth = 0;  // 1-based; 0 = never
  FaultKind kind = FaultKind::Fail;

  bool Hits(FaultOp call, int count) const { return nth > 0 && call == op && count == nth; }
};

// "short read 3", "failed size query 1": for test traces.
std::string Describe(const Fault& fault);

// What action raised, as "ClassName: message"; empty when it raised nothing.
std::string FailureOf(const std::function<void()>& action);

// How many calls of each kind a run made.
struct FaultCounts {
  int reads = 0;
  int writes = 0;
  int seeks = 0;
  int sizes = 0;
};

// Every fault that a run making these calls can meet: each call failing, and
// each read and write coming up short, plus one past the last call of each
// kind (which must change nothing).
std::vector<Fault> EveryFault(const FaultCounts& clean);

// Counts the calls of each kind, decides which one the fault breaks, and
// keeps writes within a capacity; shared by the stream and the file layer.
class FaultPlan : public FaultCounts {
 public:
  explicit FaultPlan(Fault fault) : fault_(fault) {}

  // Once this many bytes have been written, writes move only what still
  // fits, and nothing (-1) when nothing does: a full disk.
  void RefuseWritesAfter(int64_t bytes) { capacity_ = bytes; }
  FaultCounts Counts() const { return *this; }
  // Whether the fault has changed a call: it failed one, or made one move
  // less than asked (half of nothing is still all of it).
  bool Struck() const { return struck_; }

 protected:
  // The count a read or write may move, or -1 when it fails.
  int32_t AllowRead(int32_t count);
  int32_t AllowWrite(int32_t count);
  void Wrote(int32_t moved);
  // False when the seek fails.
  bool AllowSeek(SeekOrigin origin);

 private:
  int32_t Break(int32_t count);

  Fault fault_;
  bool struck_ = false;
  int64_t capacity_ = -1;
  int64_t written_ = 0;
};

// Wraps another stream and breaks the calls the plan names.
class FaultyStream final : public TStream, public FaultPlan {
 public:
  explicit FaultyStream(TStream& inner, Fault fault = {}) : FaultPlan(fault), inner_(inner) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

 private:
  TStream& inner_;
};

// The native file layer with calls broken as the plan names (the capacity
// counts the bytes written to all files: one disk), which also tracks the
// files it has open so that a test can check that nothing was left open.
class FaultyFiles final : public FileSystem, public FaultPlan {
 public:
  explicit FaultyFiles(Fault fault = {}) : FaultPlan(fault) {}

  // Opens refused as for a file that cannot be read, or (the read-write
  // probe) one that is read-only.
  bool refuse_read_open = false;
  bool refuse_read_write_open = false;

  FileHandle OpenRead(const std::string& path) override {
    return refuse_read_open ? -1 : Track(Native().OpenRead(path));
  }
  FileHandle OpenReadShared(const std::string& path) override {
    return Track(Native().OpenReadShared(path));
  }
  FileHandle OpenReadWriteShared(const std::string& path) override {
    return refuse_read_write_open ? -1 : Track(Native().OpenReadWriteShared(path));
  }
  FileHandle Create(const std::string& path) override { return Track(Native().Create(path)); }
  int32_t Read(FileHandle file, void* buffer, int32_t count) override;
  int32_t Write(FileHandle file, const void* buffer, int32_t count) override;
  int64_t Seek(FileHandle file, int64_t offset, SeekOrigin origin) override;
  void Close(FileHandle file) override;
  bool Delete(const std::string& path) override { return Native().Delete(path); }
  bool CreateFolder(const std::string& path) override { return Native().CreateFolder(path); }

  size_t OpenCount() const { return open_.size(); }

 private:
  static FileSystem& Native() { return NativeFileSystem(); }
  FileHandle Track(FileHandle file);

  std::set<FileHandle> open_;
};

}  // namespace stowaway::testing
