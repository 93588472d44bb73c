#include "tools/payload.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>

#include "archive/names.h"
#include "platform/folder.h"
#include "platform/host.h"
#include "tools/errors.h"
#include "tools/text.h"
#include "tools/windows1252.h"

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

class Walk {
 public:
  std::vector<PayloadEntry> entries;

  void Named(const std::string& path) {
    const PathKind kind = KindOfPath(path);
    if (kind == PathKind::Missing) {
      throw EToolFailure(path + ": no such file or folder");
    }
    if (kind == PathKind::Other) {
      throw EToolFailure(path + ": neither a file nor a folder; leave it out");
    }
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
  void Add(const std::string& source, const std::string& name, const std::string& parent,
           bool folder) {
    entries.push_back({source, parent.empty() ? name : parent + NameSeparator + name, folder});
  }

  // Takes stored by value: callers pass an entry's name, which Add moves when
  // entries grows.
  void Contents(const std::string& folder, std::string stored) {
    const std::string identity = FileIdentity(folder);
    if (!open_folders_.insert(identity).second) {
      throw EToolFailure(folder + ": a link leads back into a folder that holds it; leave it out");
    }
    std::vector<std::pair<std::string, std::string>> children;  // archive name, host path
    std::vector<std::string> names;
    try {
      names = FolderEntries(folder);
    } catch (const EFOpenError&) {
      throw EToolFailure(folder + ": cannot read this folder; check its permissions");
    }
    for (const std::string& name : names) {
      std::string source = JoinPath(folder, name);
      std::string archive_name = ArchiveName(source, name);
      children.emplace_back(std::move(archive_name), std::move(source));
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
      return std::string_view(a.first) < std::string_view(b.first);
    });
    for (const auto& [archive_name, source] : children) {
      const PathKind kind = KindOfPath(source);
      if (kind == PathKind::Missing) throw EToolFailure(source + ": a link that leads nowhere; leave it out");
      if (kind == PathKind::Other) throw EToolFailure(source + ": neither a file nor a folder; leave it out");
      Add(source, archive_name, stored, kind == PathKind::Folder);
      if (kind == PathKind::Folder) Contents(source, entries.back().stored);
    }
    open_folders_.erase(identity);
  }

  static std::string ArchiveName(const std::string& source, const std::string& name) {
    std::string problem;
    const std::optional<std::string> converted = ArchiveNameFromHost(name, problem);
    if (!converted) {
      throw EToolFailure(source + ": the name " + problem + "; rename it");
    }
    problem = ExactNameProblem(*converted);
    if (!problem.empty()) {
      throw EToolFailure(source + ": the name " + HostNameFromArchive(problem) + "; rename it");
    }
    return *converted;
  }

  std::set<std::string> open_folders_;
};

}  // namespace

std::vector<PayloadEntry> CollectPayload(const std::vector<std::string>& paths) {
  Walk walk;
  for (const std::string& path : paths) walk.Named(path);
  return walk.entries;
}

}  // namespace stowaway
