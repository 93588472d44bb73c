// Reading an archive's directory from any bytes, and checking where its
// entries lie. The reader accepts a directory or refuses it with the
// system's own failure; what it accepts lies within the input, each record
// reads back the same once written again, and an entry the layout check
// passes lies in front of the records and apart from every other entry
// (checked here pair by pair, independently of the check's own sweep).
#include <string>

#include "archive/directory.h"
#include "archive/packerunit.h"
#include "fuzz/fuzz_support.h"
#include "tools/extraction/archive_access.h"

namespace {

using namespace stowaway;

bool SameEntry(const ArchiveDirectoryEntry& a, const ArchiveDirectoryEntry& b) {
  return a.Signature == b.Signature && a.StartOffset == b.StartOffset && a.EndOffset == b.EndOffset &&
         a.FileName == b.FileName && a.StoredPath == b.StoredPath;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A directory of more records says nothing a shorter one does not, and
  // costs more per run.
  if (size > 64 * DirectoryEntrySize) return 0;
  OpenedArchive archive;
  archive.file = nullptr;
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  try {
    archive.directory = ReadDirectory(stream, "fuzz.exe");
  } catch (const Exception&) {
    return 0;
  }
  const std::vector<ArchiveDirectoryEntry>& directory = archive.directory;
  fuzz::Require(!directory.empty() && directory.size() <= static_cast<size_t>(DirectorySlots),
                "a directory of no records or of more than the table holds");
  const int64_t records = static_cast<int64_t>(size) - EntryCountSize -
                          static_cast<int64_t>(directory.size()) * DirectoryEntrySize;
  fuzz::Require(records >= 0, "records read from before the file's start");
  fuzz::Require(static_cast<int64_t>(LoadLE32(data + size - 4)) == static_cast<int64_t>(directory.size()),
                "another number of records than the count says");
  for (size_t i = 0; i < directory.size(); ++i) {
    const ArchiveDirectoryEntry& entry = directory[i];
    fuzz::Require(entry.FileName.size() <= 200 && entry.StoredPath.size() <= 200 && entry.Signature.size() <= 15,
                  "a text longer than its field");
    uint8_t again[DirectoryEntrySize];
    EncodeDirectoryEntry(entry, again);
    fuzz::Require(SameEntry(DecodeDirectoryEntry(again), entry), "a record that reads back otherwise");
  }

  archive.records_offset = records;
  const std::vector<std::string> problems = LayoutProblems(archive);
  fuzz::Require(problems.size() == directory.size(), "not one verdict per entry");
  auto sound = [&](size_t i) {
    const ArchiveDirectoryEntry& entry = directory[i];
    return !entry.IsFolder() && problems[i].empty() && entry.StartOffset >= 0 && entry.PackedSize() > 0 &&
           entry.EndOffset <= static_cast<int64_t>(size);
  };
  for (size_t i = 0; i < directory.size(); ++i) {
    if (!sound(i)) continue;
    fuzz::Require(directory[i].EndOffset <= records, "an entry passed that runs into the records");
    for (size_t j = 0; j < i; ++j) {
      if (!sound(j)) continue;
      const bool apart = directory[i].EndOffset <= directory[j].StartOffset ||
                         directory[j].EndOffset <= directory[i].StartOffset;
      fuzz::Require(apart, "two entries passed that overlap");
    }
  }
  return 0;
}
