#include "archive/entry_stream.h"

#include <algorithm>

#include "archive/errors.h"

namespace stowaway {

TEntryStream::TEntryStream(TStream& archive, const ArchiveDirectoryEntry& entry)
    : archive_(archive),
      start_(entry.StartOffset),
      length_(entry.PackedSize()) {
  const int64_t size = archive_.Size();
  if (entry.StartOffset < 0 || length_ < 0 || int64_t{entry.EndOffset} > size) {
    throw EArchiveError("Damaged entry in archive: " + entry.FileName);
  }
}

int32_t TEntryStream::Read(void* buffer, int32_t count) {
  if (!placed_) {
    if (archive_.Seek(start_ + position_, SeekOrigin::Begin) < 0) return -1;
    placed_ = true;
  }
  const int64_t wanted = std::min<int64_t>(count, length_ - position_);
  if (wanted <= 0) return 0;
  const int32_t got = archive_.Read(buffer, static_cast<int32_t>(wanted));
  if (got < 0) {
    placed_ = false;
  } else {
    position_ += got;
  }
  return got;
}

int32_t TEntryStream::Write(const void*, int32_t) { return -1; }

int64_t TEntryStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t base = origin == SeekOrigin::Begin     ? 0
                       : origin == SeekOrigin::Current ? position_
                                                       : length_;
  const int64_t target = base + offset;
  if (target < 0) return -1;
  if (archive_.Seek(start_ + target, SeekOrigin::Begin) < 0) {
    placed_ = false;
    return -1;
  }
  position_ = target;
  placed_ = true;
  return position_;
}

}  // namespace stowaway
