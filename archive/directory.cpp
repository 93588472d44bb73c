#include "archive/directory.h"

#include <cassert>
#include <cstring>

#include "archive/errors.h"
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

[[noreturn]] void NoDirectory(const std::string& name) {
  throw EArchiveError("No archive directory in " + name);
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

std::vector<ArchiveDirectoryEntry> ReadDirectory(TStream& archive, const std::string& name) {
  const int64_t size = archive.Size();
  if (size < EntryCountSize) NoDirectory(name);
  uint8_t count_field[EntryCountSize];
  if (archive.Seek(size - EntryCountSize, SeekOrigin::Begin) < 0 ||
      archive.Read(count_field, EntryCountSize) != EntryCountSize) {
    NoDirectory(name);
  }
  const auto count = static_cast<int32_t>(LoadLE32(count_field));
  if (count <= 0 || count > DirectorySlots) NoDirectory(name);

  const int32_t length = count * DirectoryEntrySize;
  const int64_t first = size - EntryCountSize - length;
  if (first < 0) NoDirectory(name);
  std::vector<uint8_t> records(static_cast<size_t>(length));
  if (archive.Seek(first, SeekOrigin::Begin) < 0 ||
      archive.Read(records.data(), length) != length) {
    NoDirectory(name);
  }

  std::vector<ArchiveDirectoryEntry> entries;
  entries.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    entries.push_back(
        DecodeDirectoryEntry(records.data() + static_cast<size_t>(i) * DirectoryEntrySize));
  }
  return entries;
}

std::vector<ArchiveDirectoryEntry> ReadDirectory(const std::string& path) {
  TFileStream archive(path, TFileStream::Mode::OpenRead);
  return ReadDirectory(archive, path);
}

}  // namespace stowaway
