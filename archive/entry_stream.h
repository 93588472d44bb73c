// The bytes of one archive entry, from its StartOffset to its EndOffset, as a
// read-only stream of their own: what Decompress reads an entry through, so
// that neither read-ahead nor a damaged entry reaches beyond the entry.
#pragma once

#include <cstdint>

#include "archive/directory.h"
#include "platform/stream.h"

namespace stowaway {

class TEntryStream final : public TStream {
 public:
  // Raises EArchiveError "Damaged entry in archive: %s" (the entry's
  // FileName) unless 0 <= StartOffset <= EndOffset <= the archive's size.
  // The archive stream must outlive this view, and nothing else may move it
  // while the view is read.
  TEntryStream(TStream& archive, const ArchiveDirectoryEntry& entry);

  // Position 0 is the entry's first byte; reading stops at its end.
  int32_t Read(void* buffer, int32_t count) override;
  // Always -1: archives are only read through this view.
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

 private:
  TStream& archive_;
  int64_t start_;
  int64_t length_;
  int64_t position_ = 0;
  // Whether the archive stream stands at start_ + position_.
  bool placed_ = false;
};

}  // namespace stowaway
