// stowaway test: every entry of an installer unpacked in memory and checked.
#include <iostream>

#include "archive/errors.h"
#include "archive/names.h"
#include "tools/archive_access.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/files.h"
#include "tools/progress.h"
#include "tools/text.h"

namespace stowaway {
namespace {

const char Help[] = R"(Usage: stowaway test [OPTION]... ARCHIVE
Unpack every entry of the installer ARCHIVE without writing any file, and
check that it decodes to exactly its recorded size and its SHA-256 hash,
and that its name is one the unpacker can write. Stops at the first bad
entry, names it, and exits with status 1. Installers packed without hashes
(by an older stowaway) can only be checked by size, which it says once.
Run on a signed installer, it confirms that signing left the payload
intact.

      --stored-paths  check the stored paths too, as 'stowaway extract
                      --stored-paths' needs them
  -q, --quiet         print nothing but errors
  -h, --help          show this help
)";

constexpr char Name[] = "test";

void CheckName(const std::string& path, size_t index, const ArchiveDirectoryEntry& entry,
               bool stored_paths) {
  try {
    if (!entry.IsFolder()) SafeOutputName(entry.FileName, entry.StoredPath, false, "");
    if (stored_paths) SafeOutputName(entry.FileName, entry.StoredPath, true, "");
  } catch (const EArchiveError& unsafe) {
    throw EToolFailure(path + ": " + EntryLabel(index, entry) + " has a name that would lead " +
                       "outside the destination folder: " + ShownName(unsafe.Message()));
  }
}

int Run(const Arguments& arguments) {
  if (arguments.operands.size() != 1) throw EUsage("name one ARCHIVE to test");
  const std::string& path = arguments.operands[0];
  const bool quiet = arguments.Has("quiet");
  const bool stored_paths = arguments.Has("stored-paths");
  const OpenedArchive opened = OpenArchive(path);
  const std::vector<ArchiveDirectoryEntry>& directory = opened.directory;
  TFileStream& archive = *opened.file;
  if (opened.hashes.empty() && !quiet) Note(Name, OnlySizesNote(path));

  int64_t total = 0;
  for (const ArchiveDirectoryEntry& entry : directory) {
    if (!entry.IsFolder()) total += std::max<int64_t>(entry.PackedSize(), 0);
  }
  int64_t done = 0;
  int64_t unpacked = 0;
  {
    ProgressBar bar("testing", total, quiet);
    for (size_t i = 0; i < directory.size(); ++i) {
      const ArchiveDirectoryEntry& entry = directory[i];
      CheckName(path, i, entry, stored_paths);
      if (entry.IsFolder()) continue;
      const std::string shown = ShownName(FileNamePart(entry.FileName));
      TDiscardStream nowhere;
      unpacked += UnpackEntry(archive, path, i, entry, ExpectedHash(opened, i), nowhere,
                              [&](int32_t read) { bar.Show(done + read, shown); });
      done += entry.PackedSize();
    }
  }
  if (!quiet) {
    std::cout << TerminalText(path) << ": OK, " << directory.size()
              << (directory.size() == 1 ? " entry, " : " entries, ") << unpacked << " bytes unpacked"
              << (opened.hashes.empty() ? "\n" : ", every SHA-256 hash matches\n");
  }
  return 0;
}

}  // namespace

Command TestCommand() {
  return {Name, "check that every entry of an installer unpacks", Help,
          {{"stored-paths", 0, false}}, Run};
}

}  // namespace stowaway
