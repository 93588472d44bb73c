// The archive writer: its bytes against a hand-laid archive, round trips
// through extraction, and everything it refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/errors.h"
#include "archive/packerunit.h"
#include "archive/writer.h"
#include "tests/archive/archive_builder.h"
#include "tests/archive/message_of.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::MessageOf;
using testing::ReadFileBytes;
using testing::RecordBytes;
using testing::TempDir;
using testing::ToBytes;

ArchiveItem Item(const std::string& name, Bytes data, TCompressMode mode = TCompressMode::Good,
                 const std::string& stored_path = "") {
  return {name, stored_path, ByteSource::Memory(std::move(data)), mode};
}

const ByteSource& Image() {
  static const ByteSource image = ByteSource::Memory(ToBytes("MZ"));
  return image;
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

TEST(ArchiveWriter, WritesTheHandLaidArchive) {
  const std::vector<ArchiveItem> items = {Item("a.txt", {}), Item("b.txt", {}, TCompressMode::Fast)};
  TMemoryStream out;
  EXPECT_EQ(WriteArchive(out, Image(), items, ArchiveLayout::FileNames), 883);

  // The image, the empty input packed by LZH and by LZRW1/KH, two records
  // and the count.
  Bytes expected = ToBytes("MZ");
  Append(expected, {0x21, 0x48, 0x5A, 0x4C, 0, 0, 0, 0, 0xC6, 0x00});
  Append(expected, {0x57, 0x52, 0x5A, 0x4C, 0, 0, 0, 0, 0x01, 0x00, 0x80});
  Append(expected, RecordBytes({"QZFILEID", 2, 12, "a.txt", ""}));
  Append(expected, RecordBytes({"QZFILEID", 12, 23, "b.txt", ""}));
  Append(expected, {2, 0, 0, 0});
  EXPECT_EQ(out.Data(), expected);
}

TEST(ArchiveWriter, FolderEntriesHoldNoData) {
  const std::vector<ArchiveItem> items = {ArchiveItem::Folder("tools"),
                                          Item("a.txt", {}, TCompressMode::Good, "tools\\a.txt")};
  TMemoryStream out;
  WriteArchive(out, Image(), items, ArchiveLayout::StoredPaths);
  const std::vector<ArchiveDirectoryEntry> entries = ReadDirectory(out, "memory");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].FileName, "tools");
  EXPECT_EQ(entries[0].StoredPath, "|tools");
  EXPECT_EQ(entries[0].StartOffset, 2);
  EXPECT_EQ(entries[0].EndOffset, 2);
  EXPECT_EQ(entries[1].StartOffset, 2);
  EXPECT_EQ(entries[1].EndOffset, 12);
}

TEST(ArchiveWriter, SameItemsSameBytes) {
  std::vector<ArchiveItem> items;
  for (uint32_t i = 0; i < 4; ++i) {
    items.push_back(Item("f" + std::to_string(i), testing::TextLike(20000 + 7000 * i, i),
                         i % 2 ? TCompressMode::Fast : TCompressMode::Good));
  }
  TMemoryStream first;
  TMemoryStream second;
  WriteArchive(first, Image(), items, ArchiveLayout::FileNames);
  WriteArchive(second, Image(), items, ArchiveLayout::FileNames);
  EXPECT_EQ(first.Data(), second.Data());
}

TEST(ArchiveWriter, ReportsProgressPerEntryAndRestoresTheHook) {
  const std::vector<ArchiveItem> items = {Item("a", testing::TextLike(70000, 1)), ArchiveItem::Folder("d"),
                                          Item("b", Bytes(5, 'b'), TCompressMode::Fast)};
  int outer_calls = 0;
  ProgressHook = [&] { ++outer_calls; };
  std::vector<std::tuple<int32_t, int32_t, int32_t>> calls;
  TMemoryStream out;
  WriteArchive(out, Image(), items, ArchiveLayout::FileNames,
               [&](int32_t index, int32_t read, int32_t written) { calls.emplace_back(index, read, written); });
  EXPECT_EQ(outer_calls, 0);
  ASSERT_TRUE(ProgressHook) << "the hook in place before is back";
  ProgressHook = nullptr;

  ASSERT_FALSE(calls.empty());
  EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end(),
                             [](const auto& x, const auto& y) { return std::get<0>(x) < std::get<0>(y); }));
  const auto last_of = [&](int32_t index) {
    std::tuple<int32_t, int32_t, int32_t> last{-1, -1, -1};
    for (const auto& call : calls) {
      if (std::get<0>(call) == index) last = call;
    }
    return last;
  };
  const std::vector<ArchiveDirectoryEntry> entries = ReadDirectory(out, "memory");
  EXPECT_EQ(last_of(0), std::make_tuple(0, 70000, entries[0].EndOffset - entries[0].StartOffset));
  EXPECT_EQ(last_of(1), std::make_tuple(1, 0, 0));
  EXPECT_EQ(last_of(2), std::make_tuple(2, 5, entries[2].EndOffset - entries[2].StartOffset));
}

class WriterRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    dest = dir.File("dest");
    fs::create_directory(dest);
  }
  std::string Source(const std::string& name, const Bytes& data) {
    const std::string path = dir.File(name);
    testing::WriteFileBytes(path, data);
    return path;
  }
  Bytes Output(const std::string& name) const { return ReadFileBytes(fs::path(dest) / name); }

  TempDir dir;
  std::string dest;
};

TEST_F(WriterRoundTrip, BothCodecsFromFilesAndMemory) {
  struct File {
    std::string name;
    Bytes data;
    TCompressMode mode;
  };
  const std::vector<File> files = {
      {"text.txt", testing::TextLike(50000, 1), TCompressMode::Good},
      {"noise.bin", testing::RandomBytes(40000, 2), TCompressMode::Fast},
      {"empty-good", {}, TCompressMode::Good},
      {"empty-fast", {}, TCompressMode::Fast},
      {"block.bin", testing::BinaryLike(32768, 3), TCompressMode::Fast},
      {"two-blocks.bin", testing::Repetitive(65536, 4), TCompressMode::Auto},
      {"one", {'1'}, TCompressMode::Good},
  };
  std::vector<ArchiveItem> items;
  for (size_t i = 0; i < files.size(); ++i) {
    const File& f = files[i];
    const ByteSource content =
        i % 2 ? ByteSource::Memory(f.data) : ByteSource::File(Source("src-" + f.name, f.data));
    items.push_back({"sub\\" + f.name, "", content, f.mode});
  }
  const Bytes image = testing::BinaryLike(3000, 9);
  const std::string path = dir.File("setup.exe");
  const int64_t size =
      WriteArchiveFile(path, ByteSource::File(Source("stub.exe", image)), items, ArchiveLayout::FileNames);

  const Bytes archive = ReadFileBytes(path);
  ASSERT_EQ(static_cast<int64_t>(archive.size()), size);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), archive.begin()));
  const std::vector<ArchiveDirectoryEntry> entries = ReadDirectory(path);
  ASSERT_EQ(entries.size(), files.size());
  int32_t next = static_cast<int32_t>(image.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].Signature, "QZFILEID");
    EXPECT_EQ(entries[i].StartOffset, next) << i;
    next = entries[i].EndOffset;
    const uint8_t first = archive[static_cast<size_t>(entries[i].StartOffset)];
    if (files[i].mode != TCompressMode::Auto) {
      EXPECT_EQ(first, files[i].mode == TCompressMode::Good ? 0x21 : 0x57) << i;
    }
  }
  EXPECT_EQ(next, size - 4 - 428 * static_cast<int64_t>(files.size()));

  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, false));
  for (const File& f : files) EXPECT_EQ(Output(f.name), f.data) << f.name;
}

TEST_F(WriterRoundTrip, StoredPathLayout) {
  const std::vector<ArchiveItem> items = {
      ArchiveItem::Folder("tools"), ArchiveItem::Folder("tools\\sub"),
      Item("a.dat", ToBytes("a"), TCompressMode::Fast, "tools\\a.dat"),
      Item("b.dat", ToBytes("b"), TCompressMode::Good, "tools\\sub\\b.dat"),
      Item("readme", ToBytes("top"), TCompressMode::Good, "readme.txt")};
  const std::string path = dir.File("setup.exe");
  WriteArchiveFile(path, Image(), items, ArchiveLayout::StoredPaths);
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, true));
  EXPECT_EQ(Output("tools/a.dat"), ToBytes("a"));
  EXPECT_EQ(Output("tools/sub/b.dat"), ToBytes("b"));
  EXPECT_EQ(Output("readme.txt"), ToBytes("top"));
}

TEST_F(WriterRoundTrip, AFullDirectory) {
  std::vector<ArchiveItem> items;
  for (int i = 0; i < DirectorySlots; ++i) {
    const std::string number = std::to_string(i);
    items.push_back(Item(number + ".txt", ToBytes(number), TCompressMode::Fast));
  }
  const std::string path = dir.File("setup.exe");
  WriteArchiveFile(path, Image(), items, ArchiveLayout::FileNames);
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(Output("0.txt"), ToBytes("0"));
  EXPECT_EQ(Output("500.txt"), ToBytes("500"));
}

TEST_F(WriterRoundTrip, RefusesBeforeWritingAnything) {
  struct Case {
    std::vector<ArchiveItem> items;
    ArchiveLayout layout;
    std::string message;
  };
  const std::string long_name(201, 'n');
  const std::string missing = dir.File("missing.bin");
  std::vector<ArchiveItem> too_many(502, Item("x", {}));
  for (size_t i = 0; i < too_many.size(); ++i) too_many[i].FileName = std::to_string(i);
  const auto file_names = ArchiveLayout::FileNames;
  const auto stored_paths = ArchiveLayout::StoredPaths;
  const std::vector<Case> cases = {
      {{}, file_names, "An archive needs at least one entry"},
      {too_many, file_names, "Too many entries for an archive: 502 (at most 501)"},
      {{Item(long_name, {})}, file_names,
       "Name too long for an archive entry (over 200 characters): " + long_name},
      {{Item("x", {}, TCompressMode::Good, long_name)}, stored_paths,
       "Name too long for an archive entry (over 200 characters): " + long_name},
      {{ArchiveItem::Folder(std::string(200, 'd'))}, stored_paths,
       "Name too long for an archive entry (over 200 characters): |" + std::string(200, 'd')},
      {{Item("a.txt", {}), Item("sub\\A.TXT", {})}, file_names, "Two entries extract to the same file: A.TXT"},
      {{Item("1", {}, TCompressMode::Good, "d\\x.txt"), Item("2", {}, TCompressMode::Good, "D/X.txt")},
       stored_paths, "Two entries extract to the same file: D/X.txt"},
      {{Item("sub\\..", {})}, file_names, "Unsafe file name for an archive entry: sub\\.."},
      {{Item("a?.txt", {})}, file_names, "Unsafe file name for an archive entry: a?.txt"},
      {{Item("x", {}, TCompressMode::Good, "..\\x")}, stored_paths,
       "Unsafe file name for an archive entry: ..\\x"},
      {{Item("x", {}, TCompressMode::Good, "")}, stored_paths, "Unsafe file name for an archive entry: "},
      {{ArchiveItem::Folder("C:\\x")}, stored_paths, "Unsafe file name for an archive entry: |C:\\x"},
      {{{"x", "", ByteSource::File(missing), TCompressMode::Good}}, file_names,
       "EFOpenError: Cannot open file " + missing},
  };
  const std::string path = Source("setup.exe", ToBytes("an older archive"));
  for (const Case& c : cases) {
    const std::string expected = c.message.rfind("EFOpenError", 0) == 0 ? c.message : "EArchiveError: " + c.message;
    TMemoryStream out;
    EXPECT_EQ(MessageOf([&] { WriteArchive(out, Image(), c.items, c.layout); }), expected);
    EXPECT_TRUE(out.Data().empty()) << c.message;
    EXPECT_EQ(MessageOf([&] { WriteArchiveFile(path, Image(), c.items, c.layout); }), expected);
    EXPECT_EQ(ReadFileBytes(path), ToBytes("an older archive")) << c.message;
  }
}

TEST_F(WriterRoundTrip, FoldersNeedNoSafeNameInTheFileNameLayout) {
  // File-name mode creates no folders, so a folder entry's path is not used.
  TMemoryStream out;
  EXPECT_NO_THROW(WriteArchive(out, Image(), {ArchiveItem::Folder("a\\..\\b"), Item("x", {})},
                               ArchiveLayout::FileNames));
}

TEST_F(WriterRoundTrip, FailuresWhileWritingDeleteTheFile) {
  const std::string path = dir.File("setup.exe");
  const std::vector<ArchiveItem> items = {Item("a", testing::TextLike(100000, 1))};
  struct Case {
    int write;
    std::string message;
  };
  for (const Case& c : {Case{1, "Cannot write the archive"},
                        Case{3, "Cannot pack a: Compression Error, writing to output stream !"}}) {
    testing::FaultyFiles files({testing::FaultOp::Write, c.write});
    ScopedFileSystem scope(files);
    EXPECT_EQ(MessageOf([&] { WriteArchiveFile(path, Image(), items, ArchiveLayout::FileNames); }),
              "EArchiveError: " + c.message);
    EXPECT_FALSE(fs::exists(path)) << c.message;
    EXPECT_EQ(files.OpenCount(), 0u) << c.message;
  }
}

// Stands at any position and keeps nothing: archives that would reach 2 GiB
// without writing them.
class FarSink final : public TStream {
 public:
  explicit FarSink(int64_t position) : position_(position) {}
  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void*, int32_t count) override {
    position_ += count;
    return count;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    if (origin == SeekOrigin::Current) position_ += offset;
    if (origin == SeekOrigin::Begin) position_ = offset;
    return position_;
  }

 private:
  int64_t position_;
};

TEST_F(WriterRoundTrip, StopsBeforeTheArchiveReaches2GiB) {
  const int64_t limit = int64_t{1} << 31;
  struct Case {
    int64_t from;
    std::vector<ArchiveItem> items;
    std::string message;
  };
  const std::vector<Case> cases = {
      {limit - 1, {Item("x", {})}, "Archive would reach 2 GiB at the program image"},
      {limit - 400, {ArchiveItem::Folder("f")}, "Archive would reach 2 GiB at entry f"},
      {limit - 3000, {Item("a", {}), Item("big.bin", testing::RandomBytes(5000, 1)), Item("c", {})},
       "Archive would reach 2 GiB at entry big.bin"},
  };
  for (const Case& c : cases) {
    FarSink out(c.from);
    EXPECT_EQ(MessageOf([&] { WriteArchive(out, Image(), c.items, ArchiveLayout::FileNames); }),
              "EArchiveError: " + c.message);
  }
  // Just below the limit is fine: 2 + 10 + 428 + 4 bytes.
  FarSink out(limit - 445);
  EXPECT_EQ(WriteArchive(out, Image(), {Item("x", {})}, ArchiveLayout::FileNames), 444);
}

TEST_F(WriterRoundTrip, RefusesFilesOf2GiBUpFront) {
  const int64_t limit = int64_t{1} << 31;
  const std::string huge = dir.File("huge.bin");
  const std::string almost = dir.File("almost.bin");
  testing::WriteFileBytes(huge, {});
  testing::WriteFileBytes(almost, {});
  fs::resize_file(huge, static_cast<uintmax_t>(limit));
  fs::resize_file(almost, static_cast<uintmax_t>(limit - 1000));
  TMemoryStream out;
  EXPECT_EQ(MessageOf([&] {
              WriteArchive(out, ByteSource::File(huge), {Item("x", {})}, ArchiveLayout::FileNames);
            }),
            "EArchiveError: File too large for an archive (2 GiB or more): " + huge);
  EXPECT_EQ(MessageOf([&] {
              WriteArchive(out, Image(), {{"x", "", ByteSource::File(huge), TCompressMode::Good}},
                           ArchiveLayout::FileNames);
            }),
            "EArchiveError: File too large for an archive (2 GiB or more): " + huge);
  EXPECT_EQ(MessageOf([&] {
              WriteArchive(out, ByteSource::File(almost), {Item("a", {}), Item("b", {}), Item("c", {})},
                           ArchiveLayout::FileNames);
            }),
            "EArchiveError: Archive would reach 2 GiB at entry c");
  EXPECT_TRUE(out.Data().empty());
}

}  // namespace
}  // namespace stowaway
