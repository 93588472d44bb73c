// What the tool reads out of an installer: its directory, each entry's
// packed header, and each entry's data unpacked into a stream of the
// caller's, one entry at a time, through the archive module.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "platform/sha256.h"
#include "platform/stream.h"

namespace stowaway {

// An installer open for reading, its directory, and the SHA-256 of each
// entry's content (none for an installer packed without them).
struct OpenedArchive {
  std::unique_ptr<TFileStream> file;
  std::vector<ArchiveDirectoryEntry> directory;
  int64_t records_offset = 0;  // where the first directory record begins
  int64_t data_end = 0;        // where the packed streams end: the integrity block or the records
  std::vector<Sha256Digest> hashes;
};

// Opens the archive at path, signed or not, and reads its directory.
// Raises EToolFailure naming path, in one line that says why, when it cannot
// be opened, is no installer, or its directory is damaged.
OpenedArchive OpenArchive(const std::string& path);

// For each entry, why its bytes do not lie where an installer keeps them:
// running into the directory records, or overlapping another entry ("its
// packed bytes overlap entry 2 (b.txt)"). Empty where they do, and for
// folder entries.
std::vector<std::string> LayoutProblems(const OpenedArchive& archive);

// The hash entry index must have, or none when the archive has no hashes.
const Sha256Digest* ExpectedHash(const OpenedArchive& archive, size_t index);
// Said once by the commands that check contents, for an archive without
// hashes.
std::string OnlySizesNote(const std::string& path);

// The packed header of a file entry.
struct EntryHeader {
  bool readable = false;  // false: the entry's offsets, bytes or signature are damaged
  std::string damage;     // why it is not readable, in words for a message
  std::string codec;      // "LZH" or "LZRW1/KH"
  int32_t original_size = 0;
};
EntryHeader ReadEntryHeader(TStream& archive, const ArchiveDirectoryEntry& entry);

// "entry 3 (readme.txt)", the name as this system spells it.
std::string EntryLabel(size_t index, const ArchiveDirectoryEntry& entry);

// Why entry index cannot be extracted by its name (stored_paths: its stored
// path) into folder, as a message naming path and the entry; empty when it
// can.
std::string NameRefusal(const std::string& path, size_t index, const ArchiveDirectoryEntry& entry,
                        bool stored_paths, const std::string& folder);

// Unpacks file entry index of the archive at path (open as archive) into
// out, calling progress with the packed bytes read so far at every progress
// point, and checks the content against expected unless that is null.
// Returns the bytes unpacked. Raises EToolFailure "PATH: entry N (NAME)
// cannot be unpacked: " followed by the reason.
int32_t UnpackEntry(TStream& archive, const std::string& path, size_t index,
                    const ArchiveDirectoryEntry& entry, const Sha256Digest* expected, TStream& out,
                    const std::function<void(int32_t)>& progress);

// A stream that keeps nothing and counts what is written to it.
class TDiscardStream final : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;

 private:
  int64_t size_ = 0;
  int64_t position_ = 0;
};

}  // namespace stowaway
