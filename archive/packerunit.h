// packerunit: the extraction of the entries of the archive that an unpacker
// carries behind its program image (its layout: archive/directory.h).
//
// The module keeps process-wide state (the directory table, the archive
// stream, the output stream, the one component, the entry in progress), as
// the unpacker's single thread uses it; the operations are not re-entrant.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace stowaway {

// Reads the trailer of the archive at path into the directory table (with
// the entries' hashes when the archive carries them). True when it was read
// and holds 1 to DirectorySlots records; false, and nothing raised, for
// anything else, records that do not match their hash among it.
bool ReadArchiveDirectory(const std::string& path);

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
