// The integrity block: the SHA-256 of every entry's original bytes and of
// the directory records, which the writer puts between the last packed
// stream and the first record. Readers that know only the records never
// look there (they go by the records' offsets), so archives with and
// without the block read alike; an archive without it stays valid.
//
// Layout, N being the number of records (all integers 32-bit little-endian):
//   0         32 × N  SHA-256 of each entry's original bytes, entry order;
//                     zero bytes for a folder entry
//   32N       32      SHA-256 of the N records as they lie in the file
//   32N + 32  4       N
//   32N + 36  4       the block's own length: 32N + 52
//   32N + 40  4       version: 1
//   32N + 44  8       magic: "STOWHASH"
// The block ends where the first record begins, so a reader finds it from
// the end: the magic, the version, the length.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sha256.h"
#include "platform/stream.h"

namespace stowaway {

inline constexpr char IntegrityMagic[] = "STOWHASH";
inline constexpr uint32_t IntegrityVersion = 1;
inline constexpr int32_t IntegrityFooterSize = 20;

inline constexpr int64_t IntegrityBlockSize(int64_t entries) {
  return (entries + 1) * int64_t{Sha256Size} + IntegrityFooterSize;
}

struct IntegrityBlock {
  std::vector<Sha256Digest> EntryHashes;  // one per record
  Sha256Digest DirectoryHash{};
};

std::vector<uint8_t> EncodeIntegrityBlock(const IntegrityBlock& block);

// The block in front of the first record (at first_record) of an archive of
// count records. Nothing when there is no block, or one of a later version
// that this reader does not know. Raises EUnreadableArchive
// "Damaged archive directory in %s: ..." for a block of this version that
// does not fit the directory.
std::optional<IntegrityBlock> ReadIntegrityBlock(TStream& archive, int64_t first_record, int32_t count,
                                                 const std::string& name);

// A stream that passes everything on to another and hashes the bytes as
// they go by, once each and in order: a read or write is hashed as far as
// it reaches beyond everything hashed so far, so that a reader which looks
// ahead and seeks back (as the compressor's estimate does) still gives the
// hash of the stream's bytes from its start.
class THashingStream final : public TStream {
 public:
  // inner stands at its start.
  explicit THashingStream(TStream& inner) : inner_(inner) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

  // How many bytes from the stream's start the hash covers.
  int64_t Hashed() const { return hashed_; }
  Sha256Digest Finish() { return hash_.Finish(); }

 private:
  void Take(const void* buffer, int32_t moved);

  TStream& inner_;
  Sha256 hash_;
  int64_t position_ = 0;
  int64_t hashed_ = 0;
};

}  // namespace stowaway
