#include "tools/extraction/extract_plan.h"

#include <algorithm>
#include <map>

#include "archive/names.h"
#include "platform/folder.h"
#include "tools/errors.h"
#include "tools/extraction/archive_access.h"
#include "tools/payload/windows1252.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

ExtractTarget Locate(const ExtractRequest& request, size_t index, const ArchiveDirectoryEntry& entry) {
  ExtractTarget target;
  target.index = index;
  target.folder = entry.IsFolder();
  const std::string refusal =
      NameRefusal(request.archive_path, index, entry, request.stored_paths, request.dir);
  if (!refusal.empty()) throw EToolFailure(refusal + "; nothing was extracted");
  target.relative = SafeOutputName(entry.FileName, entry.StoredPath, request.stored_paths, "");
  // "./a.txt" says no more than "a.txt".
  std::string path = request.dir == "." ? "" : request.dir;
  size_t begin = 0;
  for (;;) {
    size_t end = begin;
    while (end < target.relative.size() && !IsNameSeparator(target.relative[end])) ++end;
    target.names.push_back(HostNameFromArchive(target.relative.substr(begin, end - begin)));
    path = JoinPath(path, target.names.back());
    if (end == target.relative.size()) break;
    begin = end + 1;
  }
  target.path = path;
  return target;
}

// The folders between the destination and target, outermost first, and the
// target itself when it is a folder.
std::vector<std::string> FoldersOf(const ExtractRequest& request, const ExtractTarget& target) {
  std::vector<std::string> folders;
  std::string path = request.dir == "." ? "" : request.dir;
  const size_t count = target.names.size() - (target.folder ? 0 : 1);
  for (size_t i = 0; i < count; ++i) {
    path = JoinPath(path, target.names[i]);
    folders.push_back(path);
  }
  return folders;
}

}  // namespace

ExtractionPlan PlanExtraction(const ExtractRequest& request,
                              const std::vector<ArchiveDirectoryEntry>& directory) {
  ExtractionPlan plan;
  for (size_t i = 0; i < directory.size(); ++i) {
    const ArchiveDirectoryEntry& entry = directory[i];
    if (entry.IsFolder() && !request.stored_paths) continue;
    plan.targets.push_back(Locate(request, i, entry));
    if (!entry.IsFolder()) {
      plan.packed_total += std::max<int64_t>(entry.PackedSize(), 0);
      ++plan.files;
    }
  }
  if (const PathKind kind = KindOfPath(request.dir); kind != PathKind::Missing && kind != PathKind::Folder) {
    throw EToolFailure(request.dir + " is not a folder; -C names the folder to extract into");
  }

  const std::string installer = FileIdentity(request.archive_path);
  std::map<std::string, const ExtractTarget*> claimed;
  for (ExtractTarget& target : plan.targets) {
    const std::string label = EntryLabel(target.index, directory[target.index]);
    const auto [place, fresh] = claimed.emplace(NameIdentity(target.relative), &target);
    const ExtractTarget& earlier = *place->second;
    if (!fresh && !(earlier.folder && target.folder) &&
        (earlier.folder || target.folder || !request.force)) {
      throw EToolFailure(request.archive_path + ": " +
                         EntryLabel(earlier.index, directory[earlier.index]) + " and " + label +
                         " both extract to " + target.path +
                         (earlier.folder || target.folder ? "" : "; use --force to let the later one win"));
    }
    for (const std::string& folder : FoldersOf(request, target)) {
      if (IsLink(folder)) {
        throw EToolFailure(folder + " is a link; extract does not write through links, which "
                           "could lead outside the folder; remove it or extract elsewhere");
      }
      const PathKind kind = KindOfPath(folder);
      if (kind != PathKind::Missing && kind != PathKind::Folder) {
        throw EToolFailure(folder + " is in the way of a folder that " + label + " needs; move it");
      }
    }
    if (target.folder) continue;
    const bool link = IsLink(target.path);
    const PathKind kind = KindOfPath(target.path);
    if (kind == PathKind::Folder && !link) {
      throw EToolFailure(target.path + " is a folder, in the way of " + label + "; move it");
    }
    target.exists = kind != PathKind::Missing || link;
    // The rename would put the entry in place of the installer being read.
    if (!link && !installer.empty() && FileIdentity(target.path) == installer) {
      throw EToolFailure(target.path + " is the installer being read, and " + label +
                         " would replace it; extract into another folder (nothing was extracted)");
    }
    if (target.exists && !request.force) {
      throw EToolFailure(target.path + " exists already; use --force to replace it "
                         "(nothing was extracted)");
    }
  }
  return plan;
}

}  // namespace stowaway
