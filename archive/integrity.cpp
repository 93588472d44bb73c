#include "archive/integrity.h"

#include <cstring>

#include "archive/errors.h"
#include "compression/bytes.h"

namespace stowaway {
namespace {

constexpr size_t MagicSize = sizeof IntegrityMagic - 1;
static_assert(IntegrityFooterSize == 12 + MagicSize);

[[noreturn]] void Damaged(const std::string& name, const std::string& reason) {
  throw EUnreadableArchive(EUnreadableArchive::Cause::DamagedDirectory, name, reason);
}

}  // namespace

std::vector<uint8_t> EncodeIntegrityBlock(const IntegrityBlock& block) {
  const auto count = static_cast<int64_t>(block.EntryHashes.size());
  std::vector<uint8_t> bytes(static_cast<size_t>(IntegrityBlockSize(count)));
  uint8_t* at = bytes.data();
  for (const Sha256Digest& hash : block.EntryHashes) at = std::copy(hash.begin(), hash.end(), at);
  at = std::copy(block.DirectoryHash.begin(), block.DirectoryHash.end(), at);
  StoreLE32(at, static_cast<uint32_t>(count));
  StoreLE32(at + 4, static_cast<uint32_t>(bytes.size()));
  StoreLE32(at + 8, IntegrityVersion);
  std::memcpy(at + 12, IntegrityMagic, MagicSize);
  return bytes;
}

std::optional<IntegrityBlock> ReadIntegrityBlock(TStream& archive, int64_t first_record, int32_t count,
                                                 const std::string& name) {
  uint8_t footer[IntegrityFooterSize];
  const int64_t footer_at = first_record - IntegrityFooterSize;
  if (footer_at < 0) return std::nullopt;
  if (archive.Seek(footer_at, SeekOrigin::Begin) != footer_at ||
      archive.Read(footer, IntegrityFooterSize) != IntegrityFooterSize) {
    Damaged(name, "its integrity block cannot be read");
  }
  if (std::memcmp(footer + 12, IntegrityMagic, MagicSize) != 0 || LoadLE32(footer + 8) != IntegrityVersion) {
    return std::nullopt;
  }
  const int64_t length = IntegrityBlockSize(count);
  if (LoadLE32(footer) != static_cast<uint32_t>(count) || LoadLE32(footer + 4) != length ||
      first_record < length) {
    Damaged(name, "its integrity block does not fit its " + std::to_string(count) + " records");
  }
  std::vector<uint8_t> hashes(static_cast<size_t>(length - IntegrityFooterSize));
  const int64_t start = first_record - length;
  if (archive.Seek(start, SeekOrigin::Begin) != start ||
      archive.Read(hashes.data(), static_cast<int32_t>(hashes.size())) != static_cast<int32_t>(hashes.size())) {
    Damaged(name, "its integrity block cannot be read");
  }
  IntegrityBlock block;
  block.EntryHashes.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < block.EntryHashes.size(); ++i) {
    std::memcpy(block.EntryHashes[i].data(), hashes.data() + i * Sha256Size, Sha256Size);
  }
  std::memcpy(block.DirectoryHash.data(), hashes.data() + static_cast<size_t>(count) * Sha256Size, Sha256Size);
  return block;
}

void THashingStream::Take(const void* buffer, int32_t moved) {
  if (moved <= 0) return;
  const int64_t end = position_ + moved;
  if (position_ <= hashed_ && end > hashed_) {
    hash_.Update(static_cast<const uint8_t*>(buffer) + (hashed_ - position_),
                 static_cast<size_t>(end - hashed_));
    hashed_ = end;
  }
  position_ = end;
}

int32_t THashingStream::Read(void* buffer, int32_t count) {
  const int32_t got = inner_.Read(buffer, count);
  Take(buffer, got);
  return got;
}

int32_t THashingStream::Write(const void* buffer, int32_t count) {
  const int32_t put = inner_.Write(buffer, count);
  Take(buffer, put);
  return put;
}

int64_t THashingStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t at = inner_.Seek(offset, origin);
  if (at >= 0) position_ = at;
  return at;
}

}  // namespace stowaway
