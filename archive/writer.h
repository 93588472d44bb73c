// Writing archives: the program image, then one packed stream per entry,
// then zero filler, the integrity block (the SHA-256 of every entry and of
// the records), the directory records and their count (see doc/format.md).
// The filler makes the archive's end a multiple of 8 bytes from the file's
// start, so that signing the installer appends its certificate table
// without padding.
//
// The writer streams: a source file is read while it is packed and never
// held whole in memory. Everything the format cannot hold is refused before
// the first byte is written, where it can be known in advance; the packed
// sizes are known only while packing, so an archive that would reach 2 GiB
// through them stops there. The same items always give the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "compression/LZRW1.h"
#include "platform/stream.h"

namespace stowaway {

// An archive stays below this size, so that every offset fits its field.
inline constexpr int64_t ArchiveSizeLimit = int64_t{1} << 31;

// Bytes that go into an archive: a file, opened only while it is read, or
// bytes held in memory.
class ByteSource {
 public:
  ByteSource() = default;
  static ByteSource File(std::string path);
  static ByteSource Memory(std::vector<uint8_t> bytes);

  bool IsFile() const { return is_file_; }
  const std::string& Path() const { return path_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  bool is_file_ = false;
  std::string path_;
  std::vector<uint8_t> bytes_;
};

// One entry of an archive to be written.
struct ArchiveItem {
  // The record's FileName, at most 200 characters. File-name mode extracts
  // the entry under its part after the last '\' or ':'.
  std::string FileName;
  // The record's StoredPath, at most 200 characters: the path below the
  // destination folder that stored-path mode extracts the entry to. A
  // leading '|' makes the entry a folder entry (see Folder).
  std::string StoredPath;
  // The entry's data; not used by a folder entry.
  ByteSource Content;
  TCompressMode CompressMode = TCompressMode::Good;

  // A folder entry: stored-path mode creates folder_path below the
  // destination folder; it must come before the entries inside it.
  static ArchiveItem Folder(const std::string& folder_path);
  bool IsFolder() const { return IsFolderPath(StoredPath); }
};

// How the archive is meant to be extracted, which decides what an entry's
// output name is, and so which names are unsafe or clash.
enum class ArchiveLayout {
  FileNames,    // file-name mode: every file straight into the destination
  StoredPaths,  // stored-path mode: folders and files at their stored paths
};

// Called at every progress point of the component while entry index is
// packed (the last call carries the entry's final counts: bytes read from
// the source, bytes of the packed stream), and once with 0, 0 for a folder
// entry.
using PackProgress = std::function<void(int32_t index, int32_t bytes_read, int32_t bytes_written)>;

// Checks, without writing anything, what the format cannot hold. Raises
// EArchiveError with one of
//   "An archive needs at least one entry"
//   "Too many entries for an archive: %d (at most 501)"
//   "Name too long for an archive entry (over 200 characters): %s"
//   "Unsafe file name for an archive entry: %s"
//   "Entry 0 is the program the unpacker starts; its name must not hold a
//    space: %s"
//   "Two entries extract to the same file: %s"
//   "File too large for an archive (2 GiB or more): %s"
//   "Archive would reach 2 GiB at entry %s"
// and EFOpenError "Cannot open file %s" for a source file that cannot be
// opened.
void CheckArchiveItems(const ByteSource& image, const std::vector<ArchiveItem>& items,
                       ArchiveLayout layout);

// Checks the items, then writes the archive at out's position: image, packed
// streams, filler, integrity block, records, count. Offsets are out's positions. Returns the number
// of bytes written. Besides the checks' failures it raises EArchiveError
//   "Archive would reach 2 GiB at entry %s" (or "... at the program image")
//   "Cannot read file %s", "Cannot write the archive"
//   "Cannot pack %s: " followed by the component's message
//   "Cannot pack %s: it changed while it was read"
// and leaves out as far as it got. Uses ProgressHook while packing and
// restores it afterwards. With jobs above 1 that many threads pack entries
// ahead (see parallel_pack.h): the bytes are the same, progress comes on
// the calling thread but for several entries at once, and their points
// may be merged.
int64_t WriteArchive(TStream& out, const ByteSource& image, const std::vector<ArchiveItem>& items,
                     ArchiveLayout layout, const PackProgress& progress = {}, int jobs = 1);

// WriteArchive into the file at path, created (or truncated) once the checks
// have passed, and deleted again when writing fails. Raises, besides,
// EFCreateError "Cannot create file %s".
int64_t WriteArchiveFile(const std::string& path, const ByteSource& image,
                         const std::vector<ArchiveItem>& items, ArchiveLayout layout,
                         const PackProgress& progress = {}, int jobs = 1);

}  // namespace stowaway
