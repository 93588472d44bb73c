#include "tools/files/stub.h"

#include "platform/folder.h"
#include "platform/host.h"
#include "tools/errors.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

// The folder that holds path, without a trailing separator; empty when path
// holds none.
std::string FolderOf(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
  while (end > 1 && IsPathSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

std::string NameOf(const std::string& path) {
  size_t begin = path.size();
  while (begin > 0 && !IsPathSeparator(path[begin - 1])) --begin;
  return path.substr(begin);
}

}  // namespace

const char* StubName(Elevation elevation) {
  return elevation == Elevation::User ? "unpacker-user.exe" : "unpacker.exe";
}

std::vector<std::string> StubCandidates(const std::string& executable, Elevation elevation) {
  const std::string bin = FolderOf(executable);
  const std::string name = StubName(elevation);
  std::vector<std::string> candidates = {JoinPath(bin, name)};
  const std::string tree = FolderOf(bin);
  if (NameOf(bin) == "bin" && NameOf(tree) == "native") {
    candidates.push_back(JoinPath(JoinPath(JoinPath(FolderOf(tree), "win32"), "bin"), name));
  }
  return candidates;
}

std::string FindDefaultStub(Elevation elevation) {
  const std::vector<std::string> candidates = StubCandidates(ExecutablePath(), elevation);
  std::string looked;
  for (const std::string& candidate : candidates) {
    if (KindOfPath(candidate) == PathKind::File) return candidate;
    looked += "\n  " + candidate;
  }
  throw EToolFailure("cannot find the unpacker; looked for" + looked +
                     "\nBuild it (make build) or name it with --stub UNPACKER.exe");
}

}  // namespace stowaway
