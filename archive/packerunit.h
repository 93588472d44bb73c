// packerunit: the archive that an unpacker carries behind its program image,
// and the extraction of its entries.
//
// Layout (all integers little-endian, offsets absolute):
//   the program image
//   one packed stream per entry, entry 0 first
//   N directory records of 428 bytes (ArchiveDirectoryEntry), entry 0 first
//   N, 32-bit signed, in the last four bytes of the file
//
// The module keeps process-wide state (the directory table, the archive
// stream, the output stream, the one component, the entry in progress), as
// the unpacker's single thread uses it; the operations are not re-entrant.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace stowaway {

inline constexpr int32_t DirectoryEntrySize = 428;
inline constexpr int32_t DirectorySlots = 501;

// One directory record, decoded.
struct ArchiveDirectoryEntry {
  std::string Signature;  // "QZFILEID" as written; not checked on reading
  int32_t StartOffset = 0;
  int32_t EndOffset = 0;
  std::string FileName;
  std::string StoredPath;  // a leading '|' makes the record a folder entry
};

// Reads the trailer of the archive at path into the directory table. True
// when it was read and holds at least one record.
bool ReadArchiveDirectory(const std::string& path);

// The part of path after its last '\' or ':', at most 255 characters.
std::string FileNamePart(const std::string& path);

// Extracts entry index into dest (given without a trailing separator): under
// FileNamePart(FileName) in file-name mode, under StoredPath in stored-path
// mode. False only when the directory cannot be loaded; other failures
// raise.
bool ExtractArchiveEntry(const std::string& path, const std::string& dest, int32_t index,
                         bool UseStoredPath);

// Extracts every entry in directory order, calling hook at every progress
// point of the component. True when every entry was extracted.
bool ExtractAllEntries(const std::string& path, const std::string& dest,
                       const std::function<void()>& hook, bool UseStoredPath);

// BytesRead and BytesWritten of the component while an extraction runs;
// unchanged when there is none.
void GetEntryCounters(int32_t& bytes_read, int32_t& bytes_written);

// The entry being extracted (or extracted last): the file-name part of its
// name and its packed size.
const std::string& CurrentEntryName();
int32_t CurrentPackedSize();

}  // namespace stowaway
