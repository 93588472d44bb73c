#include "tests/support/faults.h"

#include <algorithm>

#include "platform/exception.h"

namespace stowaway::testing {

std::string Describe(const Fault& fault) {
  const char* const calls[] = {"read", "write", "seek", "size query"};
  const char* const kind = fault.kind == FaultKind::Fail ? "failed " : "short ";
  return kind + std::string(calls[static_cast<int>(fault.op)]) + " " + std::to_string(fault.nth);
}

std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return {};
}

std::vector<Fault> EveryFault(const FaultCounts& clean) {
  std::vector<Fault> faults;
  const auto add = [&](FaultOp op, int calls, bool can_be_short) {
    for (int nth = 1; nth <= calls + 1; ++nth) {
      faults.push_back({op, nth, FaultKind::Fail});
      if (can_be_short) faults.push_back({op, nth, FaultKind::Short});
    }
  };
  add(FaultOp::Read, clean.reads, true);
  add(FaultOp::Write, clean.writes, true);
  add(FaultOp::Seek, clean.seeks, false);
  add(FaultOp::Size, clean.sizes, false);
  return faults;
}

int32_t FaultPlan::Break(int32_t count) {
  const int32_t allowed = fault_.kind == FaultKind::Fail ? -1 : count / 2;
  struck_ = struck_ || allowed != count;
  return allowed;
}

int32_t FaultPlan::AllowRead(int32_t count) {
  return fault_.Hits(FaultOp::Read, ++reads) ? Break(count) : count;
}

int32_t FaultPlan::AllowWrite(int32_t count) {
  if (fault_.Hits(FaultOp::Write, ++writes)) {
    count = Break(count);
    if (count < 0) return -1;
  }
  if (capacity_ >= 0 && count > 0) {
    const int64_t room = capacity_ - written_;
    if (room <= 0) return -1;
    count = static_cast<int32_t>(std::min<int64_t>(count, room));
  }
  return count;
}

void FaultPlan::Wrote(int32_t moved) {
  if (moved > 0) written_ += moved;
}

bool FaultPlan::AllowSeek(SeekOrigin origin) {
  const bool size_query = origin == SeekOrigin::End;
  const bool size_fails = size_query && fault_.Hits(FaultOp::Size, ++sizes);
  const bool seek_fails = fault_.Hits(FaultOp::Seek, ++seeks);
  struck_ = struck_ || size_fails || seek_fails;
  return !size_fails && !seek_fails;
}

int32_t FaultyStream::Read(void* buffer, int32_t count) {
  const int32_t allowed = AllowRead(count);
  return allowed < 0 ? -1 : inner_.Read(buffer, allowed);
}

int32_t FaultyStream::Write(const void* buffer, int32_t count) {
  const int32_t allowed = AllowWrite(count);
  if (allowed < 0) return -1;
  const int32_t moved = inner_.Write(buffer, allowed);
  Wrote(moved);
  return moved;
}

int64_t FaultyStream::Seek(int64_t offset, SeekOrigin origin) {
  return AllowSeek(origin) ? inner_.Seek(offset, origin) : -1;
}

FileHandle FaultyFiles::Track(FileHandle file) {
  if (file > 0) open_.insert(file);
  return file;
}

int32_t FaultyFiles::Read(FileHandle file, void* buffer, int32_t count) {
  const int32_t allowed = AllowRead(count);
  return allowed < 0 ? -1 : Native().Read(file, buffer, allowed);
}

int32_t FaultyFiles::Write(FileHandle file, const void* buffer, int32_t count) {
  const int32_t allowed = AllowWrite(count);
  if (allowed < 0) return -1;
  const int32_t moved = Native().Write(file, buffer, allowed);
  Wrote(moved);
  return moved;
}

int64_t FaultyFiles::Seek(FileHandle file, int64_t offset, SeekOrigin origin) {
  return AllowSeek(origin) ? Native().Seek(file, offset, origin) : -1;
}

void FaultyFiles::Close(FileHandle file) {
  open_.erase(file);
  Native().Close(file);
}

}  // namespace stowaway::testing
