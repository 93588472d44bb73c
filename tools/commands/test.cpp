// stowaway test: every entry of an installer unpacked in memory and checked.
#include <iostream>

#include "archive/names.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/extraction/archive_access.h"
#include "tools/files/files.h"
#include "tools/payload/windows1252.h"
#include "tools/terminal/progress.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

const char Help[] = R"(Usage: stowaway test [OPTION]... ARCHIVE
Unpack every entry of the installer ARCHIVE without writing any file, and
check that it decodes to exactly its recorded size and its SHA-256 hash,
that its bytes lie apart from the other entries and the directory, and
that its name is one the unpacker can write. Stops at the first bad entry,
names it, and exits with status 1. Installers packed without hashes (by an
older stowaway) can only be checked by size, which it says once. Run on a
signed installer, it confirms that signing left the payload intact.

      --stored-paths  check the stored paths too, as 'stowaway extract
                      --stored-paths' needs them
  -q, --quiet         print nothing but errors
  -h, --help          show this help
)";

constexpr char Name[] = "test";

// What the unpacker, or extract --stored-paths, could not write as the
// archive names it: a name that is not safe, or one that an earlier entry
// extracts to already.
void CheckName(const std::string& path, const std::vector<ArchiveDirectoryEntry>& directory,
               size_t index, bool stored_paths, OutputClaims (&claims)[2]) {
  const ArchiveDirectoryEntry& entry = directory[index];
  for (const bool mode : {false, true}) {
    if (mode ? !stored_paths : entry.IsFolder()) continue;
    const std::string refusal = NameRefusal(path, index, entry, mode, "the destination folder");
    if (!refusal.empty()) throw EToolFailure(refusal);
    const std::string output = SafeOutputName(entry.FileName, entry.StoredPath, mode, "");
    if (const auto earlier = claims[mode].Claim(output, entry.IsFolder(), index)) {
      throw EToolFailure(path + ": " + EntryLabel(*earlier, directory[*earlier]) + " and " +
                         EntryLabel(index, entry) + " both extract to " +
                         ShownName(output) + ", so one would replace the other");
    }
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
  const std::vector<std::string> misplaced = LayoutProblems(opened);
  if (opened.hashes.empty() && !quiet) Note(Name, OnlySizesNote(path));

  int64_t total = 0;
  int files = 0;
  for (const ArchiveDirectoryEntry& entry : directory) {
    if (entry.IsFolder()) continue;
    total += std::max<int64_t>(entry.PackedSize(), 0);
    ++files;
  }
  int64_t done = 0;
  int64_t unpacked = 0;
  OutputClaims claims[2];  // file-name mode, stored-path mode
  int tested = 0;
  {
    ProgressBar bar("testing", total, files, quiet);
    for (size_t i = 0; i < directory.size(); ++i) {
      const ArchiveDirectoryEntry& entry = directory[i];
      CheckName(path, directory, i, stored_paths, claims);
      if (entry.IsFolder()) continue;
      if (!misplaced[i].empty()) {
        throw EToolFailure(path + ": " + EntryLabel(i, entry) + " is damaged: " + misplaced[i]);
      }
      const std::string shown = ShownName(FileNamePart(entry.FileName));
      TDiscardStream nowhere;
      unpacked += UnpackEntry(archive, path, i, entry, ExpectedHash(opened, i), nowhere,
                              [&](int32_t read) { bar.Show(done + read, tested, shown); });
      done += entry.PackedSize();
      ++tested;
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
