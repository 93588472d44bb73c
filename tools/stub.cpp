#include "tools/stub.h"

#include "platform/folder.h"
#include "platform/host.h"
#include "tools/errors.h"
#include "tools/text.h"

namespace stowaway {
namespace {

constexpr char StubName[] = "unpacker.exe";

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

std::vector<std::string> StubCandidates(const std::string& executable) {
  const std::string bin = FolderOf(executable);
  std::vector<std::string> candidates = {JoinPath(bin, StubName)};
  const std::string tree = FolderOf(bin);
  if (NameOf(bin) == "bin" && NameOf(tree) == "native") {
    candidates.push_back(JoinPath(JoinPath(JoinPath(FolderOf(tree), "win32"), "bin"), StubName));
  }
  return candidates;
}

std::string FindDefaultStub() {
  const std::vector<std::string> candidates = StubCandidates(ExecutablePath());
  std::string looked;
  for (const std::string& candidate : candidates) {
    if (KindOfPath(candidate) == PathKind::File) return candidate;
    looked += "\n  " + candidate;
  }
  throw EToolFailure("cannot find the unpacker; looked for" + looked +
                     "\nBuild it (make build) or name it with --stub UNPACKER.exe");
}

}  // namespace stowaway
