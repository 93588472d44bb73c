// Where each file of the installer goes. pack gives every file entry a flat
// FileName of its own, which the unpacker extracts into the staging folder,
// and its real path below the installation folder as StoredPath; a folder
// entry names a folder to make. Entry 0 is this program, which goes nowhere.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/directory.h"

namespace stowaway {

struct Placement {
  std::string Staged;  // the name in the staging folder; empty for a folder
  std::string Target;  // the path below the installation folder
};

struct InstallPlan {
  std::vector<Placement> Places;  // in archive order, folders before their files
  std::string FrontEnd;           // entry 0's name in the staging folder
  size_t Longest = 0;             // the longest path written below the folder
  // Each staged name, as Windows compares names, and its place's index.
  std::map<std::string, size_t> ByStaged;
};

// The plan for directory; none when an entry would leave the installation
// folder, or two entries would land on one file (a damaged installer).
// An entry without a StoredPath goes to its file name.
std::optional<InstallPlan> PlanInstall(const std::vector<ArchiveDirectoryEntry>& directory);

// The index of the place of staged (a ProgressReport's entry name); none
// when the plan has no such file.
std::optional<size_t> PlaceOf(const InstallPlan& plan, const std::string& staged);

}  // namespace stowaway
