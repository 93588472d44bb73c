// stowaway extract: the entries of an installer written into a folder, and
// never anywhere else.
#include <iostream>
#include <map>

#include "archive/errors.h"
#include "archive/names.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "tools/archive_access.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/files.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "tools/text.h"
#include "tools/windows1252.h"

namespace stowaway {
namespace {

const char Help[] = R"(Usage: stowaway extract [OPTION]... ARCHIVE
Extract every entry of the installer ARCHIVE, the front-end included, into
a folder: by file name alone, as the unpacker does, or at the stored paths.

  -C, --directory DIR  extract into DIR (made if missing; default: the
                       current folder)
      --stored-paths   put each file at its stored path below DIR and make
                       the folders, for installers packed with --tree
  -f, --force          replace files that exist already
  -q, --quiet          print nothing but errors
  -h, --help           show this help

Nothing is written outside DIR: every name is checked before anything is
extracted, and a name that would lead out of DIR stops the extraction, as
do a link met below DIR and, without --force, a file that exists already.
Each file is written under a temporary name and renamed once it is
complete (and its SHA-256 hash matches, when the installer carries
hashes), so that a failure or Ctrl-C leaves no half-written or damaged
file.
)";

constexpr char Name[] = "extract";

// Where one entry goes.
struct Target {
  size_t index = 0;
  bool folder = false;
  std::string relative;  // below DIR, as the archive names it
  std::string path;      // DIR joined with the host's names
  std::vector<std::string> parents;  // the folders between DIR and path, outermost first
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

Target Locate(const std::string& archive_path, const std::string& dir, size_t index,
              const ArchiveDirectoryEntry& entry, bool stored_paths) {
  Target target;
  target.index = index;
  target.folder = entry.IsFolder();
  try {
    target.relative = SafeOutputName(entry.FileName, entry.StoredPath, stored_paths, "");
  } catch (const EArchiveError& unsafe) {
    throw EToolFailure(archive_path + ": " + EntryLabel(index, entry) +
                       " has a name that would lead outside " + dir + ": " +
                       ShownName(unsafe.Message()) + "; nothing was extracted");
  }
  // "./a.txt" says no more than "a.txt".
  std::string path = dir == "." ? "" : dir;
  size_t begin = 0;
  for (;;) {
    size_t end = begin;
    while (end < target.relative.size() && !IsSeparator(target.relative[end])) ++end;
    path = JoinPath(path, HostNameFromArchive(target.relative.substr(begin, end - begin)));
    if (end == target.relative.size()) break;
    target.parents.push_back(path);
    begin = end + 1;
  }
  target.path = path;
  return target;
}

// Everything that would make the extraction write where it must not, found
// before anything is written.
void CheckTargets(const std::string& archive_path, const std::vector<ArchiveDirectoryEntry>& directory,
                  const std::vector<Target>& targets, bool force) {
  std::map<std::string, const Target*> claimed;
  for (const Target& target : targets) {
    std::string key = FoldCase(target.relative);
    for (char& c : key) c = c == '/' ? '\\' : c;
    const auto [place, fresh] = claimed.emplace(key, &target);
    const Target& earlier = *place->second;
    if (!fresh && !(earlier.folder && target.folder) && (earlier.folder || target.folder || !force)) {
      throw EToolFailure(archive_path + ": " + EntryLabel(earlier.index, directory[earlier.index]) +
                         " and " + EntryLabel(target.index, directory[target.index]) +
                         " both extract to " + target.path +
                         (earlier.folder || target.folder ? "" : "; use --force to let the later one win"));
    }
    std::vector<std::string> folders = target.parents;
    if (target.folder) folders.push_back(target.path);
    for (const std::string& folder : folders) {
      if (IsLink(folder)) {
        throw EToolFailure(folder + " is a link; extract does not write through links, which "
                           "could lead outside the folder; remove it or extract elsewhere");
      }
      const PathKind kind = KindOfPath(folder);
      if (kind != PathKind::Missing && kind != PathKind::Folder) {
        throw EToolFailure(folder + " is in the way of a folder that " +
                           EntryLabel(target.index, directory[target.index]) + " needs; move it");
      }
    }
    if (!target.folder) {
      const PathKind kind = KindOfPath(target.path);
      if (kind == PathKind::Folder && !IsLink(target.path)) {
        throw EToolFailure(target.path + " is a folder, in the way of " +
                           EntryLabel(target.index, directory[target.index]) + "; move it");
      }
      if (!force && (kind != PathKind::Missing || IsLink(target.path))) {
        throw EToolFailure(target.path + " exists already; use --force to replace it "
                           "(nothing was extracted)");
      }
    }
  }
}

// Makes the folder at path and the ones above it that are missing.
void MakeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && !IsSeparator(path[at])) continue;
    const std::string prefix = path.substr(0, at);
    if (prefix.back() != ':' && KindOfPath(prefix) == PathKind::Missing) Files().CreateFolder(prefix);
  }
  if (KindOfPath(path) != PathKind::Folder) {
    throw EToolFailure("cannot make the folder " + path + "; check the name and its permissions");
  }
}

int Run(const Arguments& arguments) {
  if (arguments.operands.size() != 1) throw EUsage("name one ARCHIVE to extract");
  const std::string& path = arguments.operands[0];
  const std::string dir = arguments.Has("directory") ? arguments.Value("directory") : ".";
  if (dir.empty()) throw EUsage("-C needs a folder");
  const bool stored_paths = arguments.Has("stored-paths");
  const bool force = arguments.Has("force");
  const bool quiet = arguments.Has("quiet");

  const OpenedArchive opened = OpenArchive(path);
  const std::vector<ArchiveDirectoryEntry>& directory = opened.directory;
  std::vector<Target> targets;
  int64_t total = 0;
  for (size_t i = 0; i < directory.size(); ++i) {
    const ArchiveDirectoryEntry& entry = directory[i];
    if (entry.IsFolder() && !stored_paths) continue;
    targets.push_back(Locate(path, dir, i, entry, stored_paths));
    if (!entry.IsFolder()) total += std::max<int64_t>(entry.PackedSize(), 0);
  }
  if (const PathKind kind = KindOfPath(dir); kind != PathKind::Missing && kind != PathKind::Folder) {
    throw EToolFailure(dir + " is not a folder; -C names the folder to extract into");
  }
  CheckTargets(path, directory, targets, force);
  MakeFolders(dir);

  TFileStream& archive = *opened.file;
  if (opened.hashes.empty() && !quiet) Note(Name, OnlySizesNote(path));
  int64_t done = 0;
  int files = 0;
  int folders = 0;
  {
    ProgressBar bar("extracting", total, quiet);
    for (const Target& target : targets) {
      const ArchiveDirectoryEntry& entry = directory[target.index];
      if (!target.parents.empty()) MakeFolders(target.parents.back());
      if (target.folder) {
        MakeFolders(target.path);
        ++folders;
        continue;
      }
      const std::string shown = ShownName(FileNamePart(entry.FileName));
      OutputFile out(target.path, InterruptNotice(Name, target.path));
      UnpackEntry(archive, path, target.index, entry, ExpectedHash(opened, target.index), out.Stream(),
                  [&](int32_t read) { bar.Show(done + read, shown); });
      out.Commit();
      done += entry.PackedSize();
      ++files;
    }
  }
  if (!quiet) {
    std::cout << TerminalText(path) << ": extracted " << files << (files == 1 ? " file" : " files");
    if (folders > 0) std::cout << " and " << folders << (folders == 1 ? " folder" : " folders");
    std::cout << " into " << TerminalText(dir) << '\n';
  }
  return 0;
}

}  // namespace

Command ExtractCommand() {
  return {Name,
          "extract the files of an installer into a folder",
          Help,
          {{"directory", 'C', true}, {"stored-paths", 0, false}, {"force", 'f', false}},
          Run};
}

}  // namespace stowaway
