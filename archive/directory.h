// The archive an unpacker carries behind its program image, as it lies in
// the file (all integers little-endian, offsets absolute):
//   the program image
//   one packed stream per entry, entry 0 first
//   optionally, filler and the integrity block (archive/integrity.h)
//   N directory records of 428 bytes (ArchiveDirectoryEntry), entry 0 first
//   N, 32-bit signed, in the last four bytes of the file, or of a signed
//   program's file in front of its certificate table
//
// A record is 428 bytes with no padding but its last two bytes:
//    0  16  Signature    length byte + up to 15 characters, zero filler
//   16   4  StartOffset  32-bit signed, little-endian
//   20   4  EndOffset    32-bit signed, little-endian
//   24 201  FileName     length byte + up to 200 characters, zero filler
//  225 201  StoredPath   length byte + up to 200 characters, zero filler
//  426   2  reserved     zero
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sha256.h"
#include "platform/stream.h"

namespace stowaway {

inline constexpr int32_t DirectoryEntrySize = 428;
inline constexpr int32_t DirectorySlots = 501;
// The first character of a folder entry's StoredPath.
inline constexpr char FolderEntryMark = '|';
inline bool IsFolderPath(const std::string& stored_path) {
  return !stored_path.empty() && stored_path[0] == FolderEntryMark;
}

// One directory record, decoded.
struct ArchiveDirectoryEntry {
  std::string Signature;  // "QZFILEID" as written; not checked on reading
  int32_t StartOffset = 0;
  int32_t EndOffset = 0;
  std::string FileName;
  std::string StoredPath;  // a leading '|' makes the record a folder entry

  bool IsFolder() const { return IsFolderPath(StoredPath); }
  // The bytes between the offsets; negative for a damaged record.
  int64_t PackedSize() const { return int64_t{EndOffset} - StartOffset; }
};

// The directory of the archive at path (or in archive, whose name the
// messages use), without touching the module's state. It accepts exactly
// what ReadArchiveDirectory accepts: 1 to DirectorySlots records in front of
// the count, none of them before the file's first byte (their offsets are
// checked only when an entry is extracted), in front of the certificate
// table of a signed program, else at the file's end. Raises EFOpenError
// "Cannot open file %s" when the file cannot be opened, and EArchiveError
// "No archive directory in %s: " followed by the reason when it holds no
// directory that can be read (see ReadArchiveIndex for the other refusals).
std::vector<ArchiveDirectoryEntry> ReadDirectory(const std::string& path);
std::vector<ArchiveDirectoryEntry> ReadDirectory(TStream& archive, const std::string& name);

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
