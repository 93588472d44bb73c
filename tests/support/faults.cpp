#include "tests/support/faults.h"

namespace stowaway::testing {

int32_t FaultyStream::Read(void* buffer, int32_t count) {
  if (fault_.Hits(FaultOp::Read, ++reads)) {
    if (fault_.kind == FaultKind::Fail) return -1;
    count /= 2;
  }
  return inner_.Read(buffer, count);
}

int32_t FaultyStream::Write(const void* buffer, int32_t count) {
  if (fault_.Hits(FaultOp::Write, ++writes)) {
    if (fault_.kind == FaultKind::Fail) return -1;
    count /= 2;
  }
  return inner_.Write(buffer, count);
}

int64_t FaultyStream::Seek(int64_t offset, SeekOrigin origin) {
  if (fault_.Hits(FaultOp::Seek, ++seeks)) return -1;
  return inner_.Seek(offset, origin);
}

FileHandle FaultyFiles::Track(FileHandle file) {
  if (file > 0) open_.insert(file);
  return file;
}

int32_t FaultyFiles::Read(FileHandle file, void* buffer, int32_t count) {
  if (fault_.Hits(FaultOp::Read, ++reads)) {
    if (fault_.kind == FaultKind::Fail) return -1;
    count /= 2;
  }
  return Native().Read(file, buffer, count);
}

int32_t FaultyFiles::Write(FileHandle file, const void* buffer, int32_t count) {
  if (fault_.Hits(FaultOp::Write, ++writes)) {
    if (fault_.kind == FaultKind::Fail) return -1;
    count /= 2;
  }
  return Native().Write(file, buffer, count);
}

int64_t FaultyFiles::Seek(FileHandle file, int64_t offset, SeekOrigin origin) {
  if (fault_.Hits(FaultOp::Seek, ++seeks)) return -1;
  return Native().Seek(file, offset, origin);
}

void FaultyFiles::Close(FileHandle file) {
  open_.erase(file);
  Native().Close(file);
}

}  // namespace stowaway::testing
