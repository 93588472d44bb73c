// Planning an extraction from any directory, in both name modes, with and
// without --force, into a folder that does not exist yet. The plan is made
// or refused with the tool's own failure; every place it plans lies below
// the destination, one name per step, none of them climbing or naming
// nothing; two files never share a place unless --force lets the later one
// win; and planning writes nothing.
//
// Input: a byte of flags, then fields separated by zero bytes, taken in
// pairs as the FileName and StoredPath of one entry each; at most 24
// entries of at most 200 characters, as an installer's records hold them.
#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/names.h"
#include "fuzz/fuzz_support.h"
#include "platform/host.h"
#include "tests/support/test_data.h"
#include "tools/errors.h"
#include "tools/extraction/extract_plan.h"
#include "tools/payload/windows1252.h"

namespace {

namespace fs = std::filesystem;
using namespace stowaway;

constexpr size_t MaxEntries = 24;
constexpr size_t MaxName = 200;

std::vector<ArchiveDirectoryEntry> Directory(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      if (fields.size() == 2 * MaxEntries) break;
      fields.emplace_back();
    } else if (fields.back().size() < MaxName) {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  std::vector<ArchiveDirectoryEntry> directory;
  for (size_t i = 0; i < fields.size(); i += 2) {
    ArchiveDirectoryEntry entry;
    entry.FileName = fields[i];
    entry.StoredPath = i + 1 < fields.size() ? fields[i + 1] : "";
    entry.StartOffset = static_cast<int32_t>(i * 10);
    entry.EndOffset = entry.StartOffset + static_cast<int32_t>(entry.FileName.size());
    directory.push_back(entry);
  }
  return directory;
}

void CheckPlan(const ExtractRequest& request, const ExtractionPlan& plan) {
  const std::string prefix = request.dir + PathSeparator();
  std::map<std::string, int> files;
  for (const ExtractTarget& target : plan.targets) {
    fuzz::Require(!target.names.empty(), "a target without a name");
    std::string path = request.dir;
    for (const std::string& name : target.names) {
      fuzz::Require(!name.empty() && name != "." && name != "..", "a step that names nothing or climbs");
      fuzz::Require(name.find('/') == std::string::npos && name.find('\0') == std::string::npos,
                    "a step holding a separator");
      path += PathSeparator() + name;
    }
    fuzz::Require(path == target.path, "a path other than its names joined");
    fuzz::Require(target.path.compare(0, prefix.size(), prefix) == 0, "a path outside the destination");
    if (!target.folder) ++files[NameIdentity(target.relative)];
  }
  for (const auto& [name, count] : files) {
    fuzz::Require(count == 1 || request.force, "two files planned for one place without --force");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // Removed when the process ends.
  static const testing::TempDir scratch;
  const std::vector<ArchiveDirectoryEntry> directory = Directory(data + 1, size - 1);
  ExtractRequest request;
  request.archive_path = (scratch.Path() / "installer.exe").string();
  request.dir = (scratch.Path() / "out").string();
  request.stored_paths = data[0] & 1;
  request.force = data[0] & 2;
  try {
    CheckPlan(request, PlanExtraction(request, directory));
  } catch (const EToolFailure&) {
  }
  fuzz::Require(fs::is_empty(scratch.Path()), "planning wrote something");
  return 0;
}
