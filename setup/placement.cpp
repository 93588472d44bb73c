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
  const std::string front_end = NameIdentity(plan.FrontEnd);
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
      const std::string identity = NameIdentity(place.Staged);
      if (!IsSafeFileName(place.Staged) || identity == front_end ||
          !plan.ByStaged.emplace(identity, plan.Places.size()).second) {
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

std::optional<size_t> PlaceOf(const InstallPlan& plan, const std::string& staged) {
  const auto found = plan.ByStaged.find(NameIdentity(staged));
  if (found == plan.ByStaged.end()) return std::nullopt;
  return found->second;
}

}  // namespace stowaway
