// The directory record as it lies in the file, and the trailer around it.
//
// A record is 428 bytes with no padding but its last two bytes:
//    0  16  Signature    length byte + up to 15 characters, zero filler
//   16   4  StartOffset  32-bit signed, little-endian
//   20   4  EndOffset    32-bit signed, little-endian
//   24 201  FileName     length byte + up to 200 characters, zero filler
//  225 201  StoredPath   length byte + up to 200 characters, zero filler
//  426   2  reserved     zero
// The trailer is N such records, entry 0 first, then N as a 32-bit signed
// little-endian number in the file's last four bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/packerunit.h"
#include "platform/sha256.h"

namespace stowaway {

namespace record {
inline constexpr int SignatureAt = 0;
inline constexpr int SignatureCapacity = 15;
inline constexpr int StartOffsetAt = 16;
inline constexpr int EndOffsetAt = 20;
inline constexpr int FileNameAt = 24;
inline constexpr int StoredPathAt = 225;
inline constexpr int NameCapacity = 200;
inline constexpr int ReservedAt = 426;
inline constexpr int ReservedSize = 2;

static_assert(StartOffsetAt == SignatureAt + 1 + SignatureCapacity);
static_assert(EndOffsetAt == StartOffsetAt + 4);
static_assert(FileNameAt == EndOffsetAt + 4);
static_assert(StoredPathAt == FileNameAt + 1 + NameCapacity);
static_assert(ReservedAt == StoredPathAt + 1 + NameCapacity);
static_assert(DirectoryEntrySize == ReservedAt + ReservedSize);
}  // namespace record

inline constexpr int32_t EntryCountSize = 4;
inline constexpr char ArchiveSignature[] = "QZFILEID";

// Decodes the DirectoryEntrySize bytes at data. A length byte larger than its
// field's capacity is read as the capacity.
ArchiveDirectoryEntry DecodeDirectoryEntry(const uint8_t* data);

// Encodes entry into the DirectoryEntrySize bytes at data, filler and
// reserved bytes zero. Every text must fit its field.
void EncodeDirectoryEntry(const ArchiveDirectoryEntry& entry, uint8_t* data);

// An archive's directory and what its integrity block says about it.
struct ArchiveIndex {
  std::vector<ArchiveDirectoryEntry> Entries;
  // Each entry's SHA-256 (zero for a folder entry); empty when the archive
  // carries no integrity block.
  std::vector<Sha256Digest> Hashes;
  // Where the archive ends: the file's end, or where signing's padding in
  // front of the certificate table begins.
  int64_t End = 0;
  // Where the first record lies.
  int64_t FirstRecord = 0;

  bool HasHashes() const { return !Hashes.empty(); }
};

// The directory of the archive in archive (name is what messages call it),
// found in front of the certificate table of a signed program and at the
// end of any other file, and checked against its integrity block when it
// has one. What ReadDirectory promises holds; the raised EArchiveError is an
// EUnreadableArchive, also for a malformed certificate directory, a
// certificate table that overlaps the archive, and records that do not
// match their hash.
ArchiveIndex ReadArchiveIndex(TStream& archive, const std::string& name);

}  // namespace stowaway
