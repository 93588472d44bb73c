#include "tools/payload/payload.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include "archive/names.h"
#include "platform/folder.h"
#include "platform/host.h"
#include "platform/system_error.h"
#include "tools/errors.h"
#include "tools/payload/windows1252.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

// The last name in path; empty when path ends in no name of its own.
std::string LastName(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && EndsPathName(path[end - 1])) --end;
  size_t begin = end;
  while (begin > 0 && !EndsPathName(path[begin - 1])) --begin;
  const std::string name = path.substr(begin, end - begin);
  return name == "." || name == ".." ? std::string() : name;
}

// Why a path that KindOfPath finds missing cannot be packed.
std::string Unreachable(const std::string& path) {
  const std::string reason = UnreachableReason(path);
  return IsLink(path) ? path + ": a link that cannot be followed: " + reason + "; leave it out"
                      : path + ": " + reason;
}

class Walk {
 public:
  std::vector<PayloadEntry> entries;
  // Everything found wrong, one line each: the walk goes on past a problem
  // so that one run names them all.
  std::vector<std::string> problems;

  void Named(const std::string& path) {
    const PathKind kind = KindOfPath(path);
    if (!Packable(path, kind)) return;
    const std::string name = LastName(path);
    if (kind == PathKind::File) {
      Add(path, ArchiveName(path, name), "", false);
      return;
    }
    if (name.empty()) {
      Contents(path, "");
      return;
    }
    const std::string stored = ArchiveName(path, name);
    Add(path, stored, "", true);
    Contents(path, stored);
  }

 private:
  // True for a file or a folder; otherwise notes why path cannot be packed.
  bool Packable(const std::string& path, PathKind kind) {
    if (kind == PathKind::Missing) {
      problems.push_back(Unreachable(path));
      return false;
    }
    if (kind == PathKind::Other) {
      problems.push_back(path + ": neither a file nor a folder; leave it out");
      return false;
    }
    return true;
  }

  void Add(const std::string& source, const std::string& name, const std::string& parent,
           bool folder) {
    entries.push_back({source, parent.empty() ? name : parent + NameSeparator + name, folder});
  }

  // Takes stored by value: callers pass an entry's name, which Add moves when
  // entries grows.
  void Contents(const std::string& folder, std::string stored) {
    const std::string identity = FileIdentity(folder);
    if (!open_folders_.insert(identity).second) {
      problems.push_back(folder + ": a link leads back into a folder that holds it; leave it out");
      return;
    }
    // archive name, host path, what is wrong with the name
    std::vector<std::tuple<std::string, std::string, std::string>> children;
    std::vector<std::string> names;
    try {
      names = FolderEntries(folder);
    } catch (const EFOpenError&) {
      problems.push_back(folder + ": cannot read this folder: " + LastSystemError());
      open_folders_.erase(identity);
      return;
    }
    for (const std::string& name : names) {
      std::string source = JoinPath(folder, name);
      std::string problem;
      std::string archive_name = ArchiveName(source, name, problem);
      children.emplace_back(std::move(archive_name), std::move(source), std::move(problem));
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
      return std::string_view(std::get<0>(a)) < std::string_view(std::get<0>(b));
    });
    for (const auto& [archive_name, source, problem] : children) {
      // Reported in the walk's order, which does not depend on the file system.
      if (!problem.empty()) problems.push_back(problem);
      const PathKind kind = KindOfPath(source);
      if (!Packable(source, kind)) continue;
      Add(source, archive_name, stored, kind == PathKind::Folder);
      if (kind == PathKind::Folder) Contents(source, entries.back().stored);
    }
    open_folders_.erase(identity);
  }

  // The name as the archive will hold it. A problem with it goes into
  // problem, and the name is kept as it is so that the walk can go on.
  static std::string ArchiveName(const std::string& source, const std::string& name,
                                 std::string& problem) {
    std::string why;
    const std::optional<std::string> converted = ArchiveNameFromHost(name, why);
    if (!converted) {
      problem = source + ": the name " + why + "; rename it";
      return name;
    }
    why = ExactNameProblem(*converted);
    if (!why.empty()) problem = source + ": the name " + HostNameFromArchive(why) + "; rename it";
    return *converted;
  }

  std::string ArchiveName(const std::string& source, const std::string& name) {
    std::string problem;
    std::string converted = ArchiveName(source, name, problem);
    if (!problem.empty()) problems.push_back(problem);
    return converted;
  }

  std::set<std::string> open_folders_;
};

}  // namespace

std::vector<PayloadEntry> CollectPayload(const std::vector<std::string>& paths) {
  Walk walk;
  for (const std::string& path : paths) walk.Named(path);
  if (!walk.problems.empty()) {
    std::string message = walk.problems.front();
    for (size_t i = 1; i < walk.problems.size(); ++i) message += '\n' + walk.problems[i];
    throw EToolFailure(message);
  }
  return walk.entries;
}

}  // namespace stowaway
