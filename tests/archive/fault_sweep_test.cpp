// ExtractAllEntries with each call of the file layer broken in turn, and on a
// disk that fills up: it fails rather than succeeds, leaves the entries before
// the failing one whole, removes the failing entry's file, attempts nothing
// after it, leaves no file open and writes nothing outside the destination.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/packerunit.h"
#include "archive/writer.h"
#include "compression/LZRW1.h"
#include "tests/support/faults.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Describe;
using testing::EveryFault;
using testing::Fault;
using testing::FaultCounts;
using testing::FaultKind;
using testing::FaultOp;
using testing::FaultyFiles;
using testing::ToBytes;
using Tree = std::map<std::string, Bytes>;  // relative path, '/' between components
constexpr const char* Folder = "(folder)";

struct Entry {
  ArchiveItem item;
  std::string name_mode_output;    // empty: nothing in file-name mode
  std::string stored_mode_output;  // the folder itself for a folder entry
};

// Both codecs, more than one block, a folder, an empty file.
std::vector<Entry> Entries() {
  const auto file = [](const std::string& name, Bytes data, TCompressMode mode) {
    return ArchiveItem{name, name, ByteSource::Memory(std::move(data)), mode};
  };
  return {
      {ArchiveItem::Folder("sub"), "", "sub"},
      {file("sub\\text.txt", testing::TextLike(3000, 1), TCompressMode::Good), "text.txt", "sub/text.txt"},
      {file("sub\\blocks.bin", testing::BinaryLike(40000, 2), TCompressMode::Fast), "blocks.bin", "sub/blocks.bin"},
      {file("empty.txt", {}, TCompressMode::Good), "empty.txt", "empty.txt"},
      {file("last.bin", testing::RandomBytes(500, 3), TCompressMode::Fast), "last.bin", "last.bin"},
  };
}

class ExtractionFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ArchiveItem> items;
    for (const Entry& e : entries) items.push_back(e.item);
    WriteArchiveFile(archive, ByteSource::Memory(ToBytes("MZ stub")), items, ArchiveLayout::StoredPaths);
  }

  // What the destination holds once entries 0 to count - 1 are extracted.
  Tree Extracted(size_t count, bool stored_paths) const {
    Tree tree;
    for (size_t i = 0; i < count; ++i) {
      const Entry& e = entries[i];
      const std::string& name = stored_paths ? e.stored_mode_output : e.name_mode_output;
      if (name.empty()) continue;
      tree[name] = e.item.IsFolder() ? ToBytes(Folder) : e.item.Content.Bytes();
    }
    return tree;
  }

  Tree Destination() const {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(dest)) {
      tree[fs::relative(item.path(), dest).generic_string()] =
          item.is_directory() ? ToBytes(Folder) : testing::ReadFileBytes(item.path());
    }
    return tree;
  }

  struct Outcome {
    bool extracted = false;
    Tree tree;
    size_t open = 0;
    FaultCounts calls;
  };

  Outcome Extract(FaultyFiles& files, bool stored_paths) {
    fs::remove_all(dest);
    fs::create_directory(dest);
    Outcome outcome;
    {
      ScopedFileSystem scope(files);
      outcome.extracted = ExtractAllEntries(archive, dest, [] {}, stored_paths);
    }
    outcome.tree = Destination();
    outcome.open = files.OpenCount();
    outcome.calls = files.Counts();
    EXPECT_FALSE(ProgressHook) << "the hook does not outlive the extraction";
    for (const auto& item : fs::directory_iterator(dir.Path())) {
      EXPECT_TRUE(item.path() == fs::path(archive) || item.path() == fs::path(dest)) << item.path();
    }
    return outcome;
  }

  // The destination holds the whole of some first entries, and nothing else:
  // their number, or -1 when it holds anything else.
  int WholeEntries(const Tree& tree, bool stored_paths) const {
    for (size_t count = 0; count <= entries.size(); ++count) {
      if (tree == Extracted(count, stored_paths)) return static_cast<int>(count);
    }
    return -1;
  }

  testing::TempDir dir;
  std::string archive = dir.File("setup.exe");
  std::string dest = dir.File("dest");
  const std::vector<Entry> entries = Entries();
};

TEST_F(ExtractionFaults, EveryCallBrokenInTurn) {
  for (const bool stored_paths : {false, true}) {
    SCOPED_TRACE(stored_paths ? "stored-path mode" : "file-name mode");
    FaultyFiles clean_files;
    const Outcome clean = Extract(clean_files, stored_paths);
    ASSERT_TRUE(clean.extracted);
    ASSERT_EQ(clean.tree, Extracted(entries.size(), stored_paths));

    for (const Fault& fault : EveryFault(clean.calls)) {
      SCOPED_TRACE(Describe(fault));
      FaultyFiles files(fault);
      const Outcome outcome = Extract(files, stored_paths);
      EXPECT_EQ(outcome.open, 0u);
      const int whole = WholeEntries(outcome.tree, stored_paths);
      EXPECT_NE(whole, -1) << "no partial file, nothing but whole entries";
      EXPECT_EQ(outcome.extracted, whole == static_cast<int>(entries.size()));
      // Only a short read may pass unnoticed: the LZH reader loads what comes.
      if (!files.Struck()) {
        EXPECT_TRUE(outcome.extracted);
      } else if (fault.op != FaultOp::Read || fault.kind != FaultKind::Short) {
        EXPECT_FALSE(outcome.extracted);
      }
    }
  }
}

TEST_F(ExtractionFaults, DiskFull) {
  // The bytes on disk once each entry is out.
  std::vector<int64_t> filled;
  int64_t total = 0;
  for (const Entry& e : entries) {
    if (!e.item.IsFolder()) total += static_cast<int64_t>(e.item.Content.Bytes().size());
    filled.push_back(total);
  }
  std::vector<int64_t> capacities;
  for (int64_t room = 0; room <= total + 1; room += 997) capacities.push_back(room);
  for (const int64_t end : filled) {
    for (const int64_t room : {end - 1, end, end + 1}) {
      if (room >= 0) capacities.push_back(room);
    }
  }
  // 32768 bytes go out before the rest of the large entry.
  capacities.insert(capacities.end(), {filled[1] + 32767, filled[1] + 32768});

  for (const bool stored_paths : {false, true}) {
    for (const int64_t room : capacities) {
      SCOPED_TRACE(std::string(stored_paths ? "stored-path mode, " : "file-name mode, ") + "room for " +
                   std::to_string(room) + " bytes");
      FaultyFiles files;
      files.RefuseWritesAfter(room);
      const Outcome outcome = Extract(files, stored_paths);
      size_t fit = 0;
      while (fit < entries.size() && filled[fit] <= room) ++fit;
      EXPECT_EQ(outcome.extracted, fit == entries.size());
      EXPECT_EQ(outcome.tree, Extracted(fit, stored_paths))
          << "the entries before the failing one whole, the failing one removed";
      EXPECT_EQ(outcome.open, 0u);
    }
  }
}

}  // namespace
}  // namespace stowaway
