#include "archive/directory.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <optional>
#include <utility>

#include "archive/certificate_table.h"
#include "archive/errors.h"
#include "archive/integrity.h"
#include "compression/bytes.h"

namespace stowaway {
namespace {

std::string LoadText(const uint8_t* field, int capacity) {
  const int length = field[0] < capacity ? field[0] : capacity;
  return std::string(reinterpret_cast<const char*>(field + 1), static_cast<size_t>(length));
}

void StoreText(uint8_t* field, [[maybe_unused]] int capacity, const std::string& text) {
  assert(text.size() <= static_cast<size_t>(capacity));
  field[0] = static_cast<uint8_t>(text.size());
  std::memcpy(field + 1, text.data(), text.size());
}

[[noreturn]] void NoDirectory(const std::string& name, const std::string& reason) {
  throw EUnreadableArchive(EUnreadableArchive::Cause::NoDirectory, name, reason);
}

// The records and count that end at end, or nothing, with why not in reason.
struct Trailer {
  int32_t Count = 0;
  int64_t First = 0;
  std::vector<uint8_t> Records;
};

std::optional<Trailer> ReadTrailer(TStream& archive, int64_t end, std::string& reason) {
  if (end < EntryCountSize) {
    reason = end == 0 ? "it is empty" : "it is only " + std::to_string(end) + " bytes long";
    return std::nullopt;
  }
  uint8_t count_field[EntryCountSize];
  if (archive.Seek(end - EntryCountSize, SeekOrigin::Begin) < 0 ||
      archive.Read(count_field, EntryCountSize) != EntryCountSize) {
    reason = "it cannot be read";
    return std::nullopt;
  }
  Trailer trailer;
  trailer.Count = static_cast<int32_t>(LoadLE32(count_field));
  if (trailer.Count <= 0 || trailer.Count > DirectorySlots) {
    reason = "the number of entries in its last four bytes reads as " + std::to_string(trailer.Count) +
             ", not one from 1 to 501";
    return std::nullopt;
  }
  const int32_t length = trailer.Count * DirectoryEntrySize;
  trailer.First = end - EntryCountSize - length;
  if (trailer.First < 0) {
    reason = "its " + std::to_string(trailer.Count) + (trailer.Count == 1 ? " record" : " records") +
             " would begin before its first byte";
    return std::nullopt;
  }
  trailer.Records.resize(static_cast<size_t>(length));
  if (archive.Seek(trailer.First, SeekOrigin::Begin) < 0 ||
      archive.Read(trailer.Records.data(), length) != length) {
    reason = "its records cannot be read";
    return std::nullopt;
  }
  return trailer;
}

// Whether the records look written by a producer of archives: the
// signature in front and every offset in front of the records. Only used
// to tell signing's padding from the zero bytes of a count.
bool LooksWritten(const Trailer& trailer) {
  for (int32_t i = 0; i < trailer.Count; ++i) {
    const ArchiveDirectoryEntry entry =
        DecodeDirectoryEntry(trailer.Records.data() + static_cast<size_t>(i) * DirectoryEntrySize);
    if (entry.Signature != ArchiveSignature || entry.StartOffset < 0 || entry.PackedSize() < 0 ||
        entry.EndOffset > trailer.First) {
      return false;
    }
  }
  return true;
}

// The trailer that ends at one of bounds.Ends: the first that looks written,
// else the first that can be read at all.
std::pair<Trailer, int64_t> FindTrailer(TStream& archive, const ArchiveBounds& bounds, const std::string& name) {
  std::optional<std::pair<Trailer, int64_t>> readable;
  std::string first_reason;
  for (const int64_t end : bounds.Ends) {
    std::string reason;
    std::optional<Trailer> trailer = ReadTrailer(archive, end, reason);
    if (first_reason.empty()) first_reason = reason;
    if (!trailer) continue;
    if (bounds.Ends.size() == 1 || LooksWritten(*trailer)) return {std::move(*trailer), end};
    if (!readable) readable.emplace(std::move(*trailer), end);
  }
  if (readable) return std::move(*readable);
  const std::string where = bounds.Table && bounds.Table->End() == bounds.Ends.front()
                                ? " in front of its certificate table"
                                : "";
  if (bounds.IsProgram && bounds.Ends.front() > 0) {
    NoDirectory(name, "it is a Windows program with no archive directory" + where + " (" + first_reason + ")");
  }
  if (first_reason == "it is empty") NoDirectory(name, first_reason);
  NoDirectory(name, "it has no archive directory at its end" + where + " (" + first_reason + ")");
}

// A certificate table that the archive reaches into: the records, the
// integrity block or a file entry's packed bytes.
void CheckApart(const ArchiveIndex& index, const CertificateTable& table, int64_t lowest, const std::string& name) {
  if (table.Offset >= index.End || table.End() <= lowest) return;
  throw EUnreadableArchive(EUnreadableArchive::Cause::MalformedCertificateDirectory, name,
                           "its table of " + std::to_string(table.Size) + " bytes at offset " +
                               std::to_string(table.Offset) + " overlaps the archive");
}

}  // namespace

ArchiveDirectoryEntry DecodeDirectoryEntry(const uint8_t* data) {
  ArchiveDirectoryEntry entry;
  entry.Signature = LoadText(data + record::SignatureAt, record::SignatureCapacity);
  entry.StartOffset = static_cast<int32_t>(LoadLE32(data + record::StartOffsetAt));
  entry.EndOffset = static_cast<int32_t>(LoadLE32(data + record::EndOffsetAt));
  entry.FileName = LoadText(data + record::FileNameAt, record::NameCapacity);
  entry.StoredPath = LoadText(data + record::StoredPathAt, record::NameCapacity);
  return entry;
}

void EncodeDirectoryEntry(const ArchiveDirectoryEntry& entry, uint8_t* data) {
  std::memset(data, 0, DirectoryEntrySize);
  StoreText(data + record::SignatureAt, record::SignatureCapacity, entry.Signature);
  StoreLE32(data + record::StartOffsetAt, static_cast<uint32_t>(entry.StartOffset));
  StoreLE32(data + record::EndOffsetAt, static_cast<uint32_t>(entry.EndOffset));
  StoreText(data + record::FileNameAt, record::NameCapacity, entry.FileName);
  StoreText(data + record::StoredPathAt, record::NameCapacity, entry.StoredPath);
}

ArchiveIndex ReadArchiveIndex(TStream& archive, const std::string& name) {
  const int64_t size = archive.Size();
  if (size < 0) NoDirectory(name, "it cannot be read");
  const ArchiveBounds bounds = FindArchiveBounds(archive, size, name);
  auto [trailer, end] = FindTrailer(archive, bounds, name);

  ArchiveIndex index;
  index.End = end;
  index.FirstRecord = trailer.First;
  index.Entries.reserve(static_cast<size_t>(trailer.Count));
  int64_t lowest = trailer.First;
  for (int32_t i = 0; i < trailer.Count; ++i) {
    index.Entries.push_back(
        DecodeDirectoryEntry(trailer.Records.data() + static_cast<size_t>(i) * DirectoryEntrySize));
    const ArchiveDirectoryEntry& entry = index.Entries.back();
    if (!entry.IsFolder() && entry.PackedSize() > 0) lowest = std::min<int64_t>(lowest, entry.StartOffset);
  }
  if (std::optional<IntegrityBlock> block = ReadIntegrityBlock(archive, trailer.First, trailer.Count, name)) {
    if (Sha256::Of(trailer.Records.data(), trailer.Records.size()) != block->DirectoryHash) {
      throw EUnreadableArchive(EUnreadableArchive::Cause::DamagedDirectory, name,
                               "its records do not match their SHA-256 hash");
    }
    index.Hashes = std::move(block->EntryHashes);
    lowest = std::min(lowest, trailer.First - IntegrityBlockSize(trailer.Count));
  }
  if (bounds.Table) CheckApart(index, *bounds.Table, std::max<int64_t>(lowest, 0), name);
  return index;
}

std::vector<ArchiveDirectoryEntry> ReadDirectory(TStream& archive, const std::string& name) {
  return ReadArchiveIndex(archive, name).Entries;
}

std::vector<ArchiveDirectoryEntry> ReadDirectory(const std::string& path) {
  TFileStream archive(path, TFileStream::Mode::OpenRead);
  return ReadDirectory(archive, path);
}

}  // namespace stowaway
