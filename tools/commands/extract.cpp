// stowaway extract: the entries of an installer written into a folder, and
// never anywhere else.
#include <iostream>
#include <optional>

#include "archive/names.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/host.h"
#include "platform/open_folder.h"
#include "platform/system_error.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/extraction/archive_access.h"
#include "tools/extraction/extract_plan.h"
#include "tools/files/files.h"
#include "tools/files/output_file.h"
#include "tools/payload/windows1252.h"
#include "tools/terminal/progress.h"
#include "tools/terminal/text.h"

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
The installer being read is never replaced, with --force neither. Each
file is written under a temporary name and renamed once it is complete (and
its SHA-256 hash matches, when the installer carries hashes), so that a
failure or Ctrl-C leaves no half-written or damaged file.
)";

constexpr char Name[] = "extract";

// Makes the folder at path and the ones above it that are missing: the
// destination, named by the user, so links on the way are followed.
void MakeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && !IsPathSeparator(path[at])) continue;
    const std::string prefix = path.substr(0, at);
    if (prefix.back() != ':' && KindOfPath(prefix) == PathKind::Missing) Files().CreateFolder(prefix);
  }
}

OpenFolder OpenDestination(const std::string& dir) {
  MakeFolders(dir);
  std::optional<OpenFolder> folder = OpenFolder::Open(dir);
  if (!folder) throw EToolFailure("cannot open the folder " + dir + ": " + LastSystemError());
  return std::move(*folder);
}

// The folder name inside parent, made when missing, never through a link.
OpenFolder EnterFolder(const OpenFolder& parent, const std::string& name, const std::string& label) {
  std::optional<OpenFolder> child = parent.Child(name, true);
  if (child) return std::move(*child);
  const std::string reason = LastSystemError();
  const std::string path = parent.PathOf(name);
  switch (parent.KindOf(name)) {
    case EntryKind::Link:
      throw EToolFailure(path + " is a link; extract does not write through links, which could "
                         "lead outside the folder; remove it or extract elsewhere");
    case EntryKind::File:
    case EntryKind::Other:
      throw EToolFailure(path + " is in the way of a folder that " + label + " needs; move it");
    default:
      throw EToolFailure("cannot make the folder " + path + ": " + reason);
  }
}

int Run(const Arguments& arguments) {
  if (arguments.operands.size() != 1) throw EUsage("name one ARCHIVE to extract");
  ExtractRequest request;
  request.archive_path = arguments.operands[0];
  request.dir = arguments.Has("directory") ? arguments.Value("directory") : ".";
  if (request.dir.empty()) throw EUsage("-C needs a folder");
  request.stored_paths = arguments.Has("stored-paths");
  request.force = arguments.Has("force");
  const bool quiet = arguments.Has("quiet");
  const std::string& path = request.archive_path;

  const OpenedArchive opened = OpenArchive(path);
  const std::vector<ArchiveDirectoryEntry>& directory = opened.directory;
  const ExtractionPlan plan = PlanExtraction(request, directory);
  const std::string installer = FileIdentity(path);
  const OpenFolder destination = OpenDestination(request.dir);

  TFileStream& archive = *opened.file;
  if (opened.hashes.empty() && !quiet) Note(Name, OnlySizesNote(path));
  int64_t done = 0;
  int files = 0;
  int folders = 0;
  {
    ProgressBar bar("extracting", plan.packed_total, plan.files, quiet);
    for (const ExtractTarget& target : plan.targets) {
      const ArchiveDirectoryEntry& entry = directory[target.index];
      const std::string label = EntryLabel(target.index, entry);
      // Each folder on the way is entered through the one above it.
      std::optional<OpenFolder> here;
      const size_t steps = target.names.size() - (target.folder ? 0 : 1);
      for (size_t i = 0; i < steps; ++i) {
        here = EnterFolder(here ? *here : destination, target.names[i], label);
      }
      if (target.folder) {
        ++folders;
        continue;
      }
      const OpenFolder& parent = here ? *here : destination;
      const std::string& name = target.names.back();
      const std::string shown = ShownName(FileNamePart(entry.FileName));
      OutputFile out(parent, name, request.force, InterruptNotice(Name, target.path));
      try {
        UnpackEntry(archive, path, target.index, entry, ExpectedHash(opened, target.index), out.Stream(),
                    [&](int32_t read) { bar.Show(done + read, files, shown); });
      } catch (const EToolFailure&) {
        const std::string& reason = out.Stream().WriteFailure();
        if (reason.empty()) throw;
        throw EToolFailure("cannot write " + target.path + ": " + reason);
      }
      if (!installer.empty() && parent.IdentityOf(name) == installer) {
        throw EToolFailure(target.path + " is the installer being read, and " + label +
                           " would replace it; extract into another folder");
      }
      out.Commit();
      done += entry.PackedSize();
      ++files;
    }
  }
  if (!quiet) {
    std::cout << TerminalText(path) << ": extracted " << files << (files == 1 ? " file" : " files");
    if (folders > 0) std::cout << " and " << folders << (folders == 1 ? " folder" : " folders");
    std::cout << " into " << TerminalText(request.dir) << '\n';
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
