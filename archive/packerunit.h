// packerunit: the archive that an unpacker carries behind its program image,
// and the extraction of its entries.
//
// Layout (all integers little-endian, offsets absolute):
//   the program image
//   one packed stream per entry, entry 0 first
//   optionally, filler and the integrity block (archive/integrity.h)
//   N directory records of 428 bytes (ArchiveDirectoryEntry), entry 0 first
//   N, 32-bit signed, in the last four bytes of the file, or of a signed
//   program's file in front of its certificate table
//
// The module keeps process-wide state (the directory table, the archive
// stream, the output stream, the one component, the entry in progress), as
// the unpacker's single thread uses it; the operations are not re-entrant.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
// directory that can be read (see ReadArchiveIndex in directory.h for the
// other refusals).
std::vector<ArchiveDirectoryEntry> ReadDirectory(const std::string& path);
std::vector<ArchiveDirectoryEntry> ReadDirectory(TStream& archive, const std::string& name);

// Reads the trailer of the archive at path into the directory table (with
// the entries' hashes when the archive carries them). True when it was read
// and holds 1 to DirectorySlots records; false, and nothing raised, for
// anything else, records that do not match their hash among it.
bool ReadArchiveDirectory(const std::string& path);

// The part of path after its last '\' or ':', at most 255 characters.
std::string FileNamePart(const std::string& path);

// Extracts entry index into dest (given without a trailing separator): under
// FileNamePart(FileName) in file-name mode, under StoredPath in stored-path
// mode. A folder entry creates its folder in stored-path mode (an existing
// one is fine) and nothing in file-name mode. The directory is read unless
// it was loaded from this same path. False only when the directory cannot
// be loaded; other failures raise:
//   EArchiveError "Archive entry index out of range: %d"
//   EArchiveError "Unsafe file name in archive: %s" (nothing is created)
//   EArchiveError "Damaged entry in archive: %s" (offsets outside the file)
//   EArchiveError "Entry does not match its SHA-256 hash in archive: %s"
//     (when the archive carries an integrity block)
//   EFOpenError "Cannot open file %s", EFCreateError "Cannot create file %s"
//   and whatever Decompress raises; the entry's output file is then deleted.
bool ExtractArchiveEntry(const std::string& path, const std::string& dest, int32_t index,
                         bool UseStoredPath);

// Extracts every entry in directory order, calling hook at every progress
// point of the component. True when every entry was extracted; it stops at
// the first entry that fails, and the entries before it stay on disk.
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
