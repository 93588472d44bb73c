#include "setup/placement.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "archive/names.h"
#include "setup/switches.h"

namespace stowaway {
namespace {

// Windows compares names without regard to case.
std::string Folded(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

std::optional<InstallPlan> PlanInstall(const std::vector<ArchiveDirectoryEntry>& directory) {
  if (directory.empty()) return std::nullopt;
  InstallPlan plan;
  plan.FrontEnd = FileNamePart(directory.front().FileName);
  std::set<std::string> staged = {Folded(plan.FrontEnd)};
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
      if (!IsSafeFileName(place.Staged) || !staged.insert(Folded(place.Staged)).second) {
        return std::nullopt;
      }
      plan.Longest = std::max(plan.Longest, staging + place.Staged.size());
    }
    std::replace(place.Target.begin(), place.Target.end(), '/', '\\');
    if (!IsSafeStoredPath(place.Target)) return std::nullopt;
    const bool fresh = targets.insert(Folded(place.Target)).second;
    if (!fresh && !entry.IsFolder()) return std::nullopt;
    plan.Longest = std::max(plan.Longest, place.Target.size());
    plan.Places.push_back(std::move(place));
  }
  return plan;
}

std::string TargetOf(const InstallPlan& plan, const std::string& staged) {
  for (const Placement& place : plan.Places) {
    if (!place.Staged.empty() && Folded(place.Staged) == Folded(staged)) return place.Target;
  }
  return staged;
}

}  // namespace stowaway
