// The archive writer: its bytes against a hand-laid archive, round trips
// through extraction, and everything it refuses.
#include "archive/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/integrity.h"
#include "archive/packerunit.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FailureOf;
using testing::ReadFileBytes;
using testing::ToBytes;
using Calls = std::vector<std::tuple<int32_t, int32_t, int32_t>>;
constexpr int64_t Limit = int64_t{1} << 31;
constexpr auto FileNames = ArchiveLayout::FileNames;
constexpr auto StoredPaths = ArchiveLayout::StoredPaths;

ArchiveItem Item(const std::string& name, Bytes data, TCompressMode mode = TCompressMode::Good,
                 const std::string& stored_path = "") {
  return {name, stored_path, ByteSource::Memory(std::move(data)), mode};
}

const ByteSource Image = ByteSource::Memory(ToBytes("MZ"));

TEST(ArchiveWriter, WritesTheHandLaidArchive) {
  TMemoryStream out;
  EXPECT_EQ(WriteArchive(out, Image, {Item("a.txt", {}), Item("b.txt", {}, TCompressMode::Fast)},
                         FileNames),
            1000);
  // The image, the empty input packed by LZH and by LZRW1/KH, one byte of
  // filler that makes the whole a multiple of 8, the integrity block, two
  // records and the count.
  Bytes expected = {'M',  'Z',  0x21, 0x48, 0x5A, 0x4C, 0, 0, 0, 0, 0xC6, 0x00,
                    0x57, 0x52, 0x5A, 0x4C, 0,    0,    0, 0, 1, 0, 0x80, 0};
  Bytes records = testing::RecordBytes({"QZFILEID", 2, 12, "a.txt", ""});
  const Bytes second = testing::RecordBytes({"QZFILEID", 12, 23, "b.txt", ""});
  records.insert(records.end(), second.begin(), second.end());
  // SHA-256 of no bytes (FIPS 180-2), once per entry, then of the records.
  const Bytes empty_hash = testing::FromHex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  const Sha256Digest records_hash = Sha256::Of(records.data(), records.size());
  for (const Bytes& more : {empty_hash, empty_hash, Bytes(records_hash.begin(), records_hash.end()),
                            Bytes{2, 0, 0, 0, 116, 0, 0, 0, 1, 0, 0, 0}, ToBytes("STOWHASH"), records,
                            Bytes{2, 0, 0, 0}}) {
    expected.insert(expected.end(), more.begin(), more.end());
  }
  EXPECT_EQ(out.Data(), expected);
}

TEST(ArchiveWriter, ReportsProgressPerEntryAndRestoresTheHook) {
  Calls calls;
  TMemoryStream out;
  {
    const HookInUse callers([] { FAIL() << "the caller's hook is not called while packing"; });
    WriteArchive(out, Image,
                 {Item("a", testing::TextLike(70000, 1)), ArchiveItem::Folder("d"),
                  Item("b", Bytes(5, 'b'), TCompressMode::Fast)},
                 FileNames, [&](int32_t i, int32_t read, int32_t written) {
                   calls.emplace_back(i, read, written);
                 });
    EXPECT_TRUE(ProgressHook) << "the hook in place before is back";
  }

  const std::vector<ArchiveDirectoryEntry> entries = ReadDirectory(out, "memory");
  Calls last(3);
  for (const auto& call : calls) last[static_cast<size_t>(std::get<0>(call))] = call;
  EXPECT_TRUE(std::is_sorted(calls.begin(), calls.end()));
  EXPECT_EQ(last[0], std::make_tuple(0, 70000, entries[0].EndOffset - entries[0].StartOffset));
  EXPECT_EQ(last[1], std::make_tuple(1, 0, 0));
  EXPECT_EQ(last[2], std::make_tuple(2, 5, entries[2].EndOffset - entries[2].StartOffset));
}

class WriterRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(dest); }
  std::string Source(const std::string& name, const Bytes& data) {
    testing::WriteFileBytes(dir.File(name), data);
    return dir.File(name);
  }
  Bytes Output(const std::string& name) const { return ReadFileBytes(fs::path(dest) / name); }

  testing::TempDir dir;
  std::string dest = dir.File("dest");
  std::string path = dir.File("setup.exe");
};

TEST_F(WriterRoundTrip, BothCodecsFromFilesAndMemory) {
  const std::vector<std::tuple<std::string, Bytes, TCompressMode>> files = {
      {"text.txt", testing::TextLike(50000, 1), TCompressMode::Good},
      {"noise.bin", testing::RandomBytes(40000, 2), TCompressMode::Fast},
      {"empty-good", {}, TCompressMode::Good},
      {"empty-fast", {}, TCompressMode::Fast},
      {"block.bin", testing::BinaryLike(32768, 3), TCompressMode::Fast},
      {"auto.bin", testing::Repetitive(65536, 4), TCompressMode::Auto},
  };
  std::vector<ArchiveItem> items;
  for (const auto& [name, data, mode] : files) {
    const bool in_memory = items.size() % 2;
    items.push_back({"sub\\" + name, "",
                     in_memory ? ByteSource::Memory(data) : ByteSource::File(Source(name, data)),
                     mode});
  }
  const Bytes image = testing::BinaryLike(3000, 9);
  const int64_t size =
      WriteArchiveFile(path, ByteSource::File(Source("stub.exe", image)), items, FileNames);
  const Bytes archive = ReadFileBytes(path);
  ASSERT_EQ(static_cast<int64_t>(archive.size()), size);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), archive.begin()));
  TMemoryStream again;
  WriteArchive(again, ByteSource::Memory(image), items, FileNames);
  EXPECT_EQ(again.Data(), archive) << "the same items give the same bytes";

  // The packed streams follow one another from the image to the records.
  int32_t next = static_cast<int32_t>(image.size());
  for (const ArchiveDirectoryEntry& entry : ReadDirectory(path)) {
    EXPECT_EQ(entry.StartOffset, next) << entry.FileName;
    next = entry.EndOffset;
  }
  // Then up to 7 bytes of filler, the integrity block and the records.
  const int64_t block = size - 4 - 428 * static_cast<int64_t>(files.size()) - IntegrityBlockSize(6);
  EXPECT_EQ(size % 8, 0);
  EXPECT_LE(next, block);
  EXPECT_GT(next, block - 8);
  EXPECT_TRUE(std::all_of(archive.begin() + next, archive.begin() + static_cast<std::ptrdiff_t>(block),
                          [](uint8_t b) { return b == 0; }));
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, false));
  for (const auto& [name, data, mode] : files) EXPECT_EQ(Output(name), data) << name;
}

TEST_F(WriterRoundTrip, StoredPathLayoutWithFolders) {
  WriteArchiveFile(path, Image,
                   {ArchiveItem::Folder("tools"), ArchiveItem::Folder("tools\\sub"),
                    Item("b.dat", ToBytes("b"), TCompressMode::Fast, "tools\\sub\\b.dat")},
                   StoredPaths);
  const ArchiveDirectoryEntry folder = ReadDirectory(path)[1];
  EXPECT_EQ(folder.FileName, "tools\\sub");
  EXPECT_EQ(folder.StoredPath, "|tools\\sub");
  EXPECT_EQ(std::make_pair(folder.StartOffset, folder.EndOffset), std::make_pair(2, 2));
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, true));
  EXPECT_EQ(Output("tools/sub/b.dat"), ToBytes("b"));
}

TEST_F(WriterRoundTrip, AFullDirectory) {
  std::vector<ArchiveItem> items;
  for (int i = 0; i < DirectorySlots; ++i) {
    items.push_back(Item(std::to_string(i), ToBytes(std::to_string(i)), TCompressMode::Fast));
  }
  WriteArchiveFile(path, Image, items, FileNames);
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(Output("500"), ToBytes("500"));
}

TEST_F(WriterRoundTrip, RefusesBeforeWritingAnything) {
  const std::string long_name(201, 'n');
  const std::string missing = dir.File("missing.bin");
  std::vector<ArchiveItem> too_many(502, Item("", {}));
  for (size_t i = 0; i < too_many.size(); ++i) too_many[i].FileName = std::to_string(i);
  const std::vector<std::tuple<std::vector<ArchiveItem>, ArchiveLayout, std::string>> cases = {
      {{}, FileNames, "EArchiveError: An archive needs at least one entry"},
      {too_many, FileNames, "EArchiveError: Too many entries for an archive: 502 (at most 501)"},
      {{Item("x", {}, TCompressMode::Good, long_name)},
       StoredPaths,
       "EArchiveError: Name too long for an archive entry (over 200 characters): " + long_name},
      {{Item("a.txt", {}), Item("sub\\A.TXT", {})},
       FileNames,
       "EArchiveError: Two entries extract to the same file: A.TXT"},
      {{Item("1", {}, TCompressMode::Good, "d\\x"), Item("2", {}, TCompressMode::Good, "D/X")},
       StoredPaths,
       "EArchiveError: Two entries extract to the same file: D/X"},
      {{Item("\xE9.txt", {}), Item("\xC9.txt", {})},
       FileNames,
       "EArchiveError: Two entries extract to the same file: \xC9.txt"},
      {{Item("a.txt", {}), Item("A.TXT.", {})},
       FileNames,
       "EArchiveError: Two entries extract to the same file: A.TXT."},
      {{ArchiveItem::Folder("d."), Item("d", {}, TCompressMode::Good, "d")},
       StoredPaths,
       "EArchiveError: Two entries extract to the same file: d"},
      {{Item("sub\\..", {})},
       FileNames,
       "EArchiveError: Unsafe file name for an archive entry: sub\\.."},
      {{Item("con.txt", {})}, FileNames, "EArchiveError: Unsafe file name for an archive entry: con.txt"},
      {{Item("x", {}, TCompressMode::Good, "bin\\a?b")},
       StoredPaths,
       "EArchiveError: Unsafe file name for an archive entry: bin\\a?b"},
      {{ArchiveItem::Folder("C:\\x")},
       StoredPaths,
       "EArchiveError: Unsafe file name for an archive entry: |C:\\x"},
      {{Item("tools\\net setup.exe", {}), Item("read me.txt", {})},
       FileNames,
       "EArchiveError: Entry 0 is the program the unpacker starts; its name must not hold a "
       "space: tools\\net setup.exe"},
      {{{"x", "", ByteSource::File(missing), TCompressMode::Good}},
       FileNames,
       "EFOpenError: Cannot open file " + missing},
  };
  testing::WriteFileBytes(path, ToBytes("an older archive"));
  for (const auto& [items, layout, message] : cases) {
    TMemoryStream out;
    EXPECT_EQ(FailureOf([&] { WriteArchive(out, Image, items, layout); }), message);
    EXPECT_TRUE(out.Data().empty()) << message;
    EXPECT_EQ(FailureOf([&] { WriteArchiveFile(path, Image, items, layout); }), message);
    EXPECT_EQ(ReadFileBytes(path), ToBytes("an older archive")) << message;
  }
}

TEST_F(WriterRoundTrip, FailuresWhileWritingDeleteTheFile) {
  // Write 1 copies the image, write 3 is the first block the coder writes.
  for (const auto& [write, message] : std::vector<std::pair<int, std::string>>{
           {1, "Cannot write the archive"},
           {3, "Cannot pack a: Compression Error, writing to output stream !"}}) {
    testing::FaultyFiles files({testing::FaultOp::Write, write});
    ScopedFileSystem scope(files);
    EXPECT_EQ(FailureOf([&] {
                WriteArchiveFile(path, Image, {Item("a", testing::TextLike(100000, 1))}, FileNames);
              }),
              "EArchiveError: " + message);
    EXPECT_FALSE(fs::exists(path)) << message;
    EXPECT_EQ(files.OpenCount(), 0u) << message;
  }
}

// Stands at any position and keeps nothing.
class FarSink final : public TStream {
 public:
  explicit FarSink(int64_t position) : position_(position) {}
  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void*, int32_t count) override {
    position_ += count;
    return count;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    position_ = (origin == SeekOrigin::Current ? position_ : 0) + offset;
    return position_;
  }

 private:
  int64_t position_;
};

TEST_F(WriterRoundTrip, StaysBelow2GiB) {
  const std::string huge = dir.File("huge.bin");
  const std::string almost = dir.File("almost.bin");
  testing::WriteFileBytes(huge, {});
  testing::WriteFileBytes(almost, {});
  fs::resize_file(huge, static_cast<uintmax_t>(Limit));
  fs::resize_file(almost, static_cast<uintmax_t>(Limit - 1000));
  // Where the archive starts, what it holds, and why it stops.
  const std::vector<std::tuple<int64_t, ByteSource, std::vector<ArchiveItem>, std::string>> cases =
      {
          {0,
           ByteSource::File(huge),
           {Item("x", {})},
           "File too large for an archive (2 GiB or more): " + huge},
          {0,
           Image,
           {{"x", "", ByteSource::File(huge), TCompressMode::Good}},
           "File too large for an archive (2 GiB or more): " + huge},
          {0,
           ByteSource::File(almost),
           {Item("a", {}), Item("b", {}), Item("c", {})},
           "Archive would reach 2 GiB at entry c"},
          {Limit - 1, Image, {Item("x", {})}, "Archive would reach 2 GiB at the program image"},
          {Limit - 400, Image, {ArchiveItem::Folder("f")}, "Archive would reach 2 GiB at entry f"},
          {Limit - 3000,
           Image,
           {Item("a", {}), Item("big", testing::RandomBytes(5000, 1)), Item("c", {})},
           "Archive would reach 2 GiB at entry big"},
      };
  // Packed on several threads too, with later entries still being packed.
  std::vector<ArchiveItem> later = std::get<2>(cases.back());
  for (int i = 0; i < 6; ++i) later.push_back(Item("later" + std::to_string(i), testing::TextLike(300000, i)));
  for (int jobs : {1, 2, 4}) {
    for (const auto& [from, image, items, message] : cases) {
      FarSink out(from);
      EXPECT_EQ(FailureOf([&] { WriteArchive(out, image, items, FileNames, {}, jobs); }),
                "EArchiveError: " + message)
          << jobs << " jobs";
    }
    FarSink out(Limit - 3000);
    EXPECT_EQ(FailureOf([&] { WriteArchive(out, Image, later, FileNames, {}, jobs); }),
              "EArchiveError: Archive would reach 2 GiB at entry big")
        << jobs << " jobs";
  }
  // Room for 2 + 10 + 84 (the integrity block) + 428 + 4 bytes, and the end
  // on a multiple of 8.
  FarSink just_below(Limit - 536);
  EXPECT_EQ(WriteArchive(just_below, Image, {Item("x", {})}, FileNames), 528);
}

}  // namespace
}  // namespace stowaway
