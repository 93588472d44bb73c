#include "setup/placement.h"

#include <algorithm>
#include <set>

#include "archive/names.h"
#include "setup/switches.h"

namespace stowaway {
namespace {

bool IsSafeFileName(const std::string& name) { return NameProblem(name).empty(); }
bool IsSafeStoredPath(const std::string& path) { return OutputNameProblem("x", path, true).empty(); }

}  // namespace

std::optional<InstallPlan> PlanInstall(const std::vector<ArchiveDirectoryEntry>& directory) {
  if (directory.empty()) return std::nullopt;
  InstallPlan plan;
  plan.FrontEnd = FileNamePart(directory.front().FileName);
  std::set<std::string> staged = {NameIdentity(plan.FrontEnd)};
  std::set<std::string> targets;
  const size_t staging = sizeof StagingFolderName;  // its name and a separator
  plan.Longest = staging + plan.FrontEnd.size();
  for (size_t i = 1; i < directory.size(); ++i) {
    const ArchiveDirectoryEntry& entry = directory[i];
    Placement place;
    if (entry.IsFolder()) {
      place.Target = entry.StoredPath.substr(1);
    } else {
      place.Staged = FileNamePart(entry.FileName);
      place.Target = entry.StoredPath.empty() ? place.Staged : entry.StoredPath;
      if (!IsSafeFileName(place.Staged) || !staged.insert(NameIdentity(place.Staged)).second) {
        return std::nullopt;
      }
      plan.Longest = std::max(plan.Longest, staging + place.Staged.size());
    }
    std::replace(place.Target.begin(), place.Target.end(), '/', '\\');
    if (!IsSafeStoredPath(place.Target)) return std::nullopt;
    const bool fresh = targets.insert(NameIdentity(place.Target)).second;
    if (!fresh && !entry.IsFolder()) return std::nullopt;
    plan.Longest = std::max(plan.Longest, place.Target.size());
    plan.Places.push_back(std::move(place));
  }
  return plan;
}

std::string TargetOf(const InstallPlan& plan, const std::string& staged) {
  for (const Placement& place : plan.Places) {
    if (!place.Staged.empty() && NameIdentity(place.Staged) == NameIdentity(staged)) return place.Target;
  }
  return staged;
}

}  // namespace stowaway
