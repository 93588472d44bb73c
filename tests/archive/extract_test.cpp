// Extraction of one or all entries: output names in both modes, folder
// entries, progress, and every way an entry can fail without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "archive/entry_stream.h"
#include "archive/packerunit.h"
#include "compression/LZRW1.h"
#include "platform/host.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::ArchiveBuilder;
using testing::Bytes;
using testing::FailureOf;
using testing::ToBytes;
using Names = std::vector<std::string>;

// Every file and folder below root.
Names Listing(const fs::path& root) { return testing::Listing(root, true); }

struct Point {
  std::string name;
  int32_t packed;
  int32_t read;
  int32_t written;
};

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(dest); }
  // Each archive gets a path of its own: a directory once read serves later
  // single-entry calls for the same path.
  std::string Archive(const ArchiveBuilder& archive) {
    const std::string path = dir.File("archive" + std::to_string(++archives) + ".exe");
    testing::WriteFileBytes(path, archive.Build());
    return path;
  }
  Bytes Output(const std::string& name) const {
    return testing::ReadFileBytes(fs::path(dest) / name);
  }
  // Nothing was made outside dest.
  void ExpectOnlyDestAndArchives() const {
    for (const auto& item : fs::directory_iterator(dir.Path())) {
      const std::string name = item.path().filename().string();
      EXPECT_TRUE(name == "dest" || name.rfind("archive", 0) == 0) << name;
    }
  }
  std::function<void()> Recorder() {
    return [this] {
      Point p{CurrentEntryName(), CurrentPackedSize(), -1, -1};
      GetEntryCounters(p.read, p.written);
      points.push_back(p);
    };
  }

  testing::TempDir dir;
  std::string dest = dir.File("dest");
  int archives = 0;
  std::vector<Point> points;
};

TEST_F(Extraction, FileNameModeWritesUnderTheFileNamePart) {
  const Bytes text = testing::TextLike(50000, 1);
  ArchiveBuilder archive;
  archive.AddFile(text, "sub\\data.bin")
      .AddFile({}, "empty.txt")
      .AddFile(ToBytes("new"), "C:small.txt");
  archive.records[1].signature = "NOTOURS";
  testing::WriteFileBytes(fs::path(dest) / "small.txt", ToBytes("an older and longer content"));
  ASSERT_TRUE(ExtractAllEntries(Archive(archive), dest, nullptr, false));
  EXPECT_EQ(Listing(dest), (Names{"data.bin", "empty.txt", "small.txt"}));
  EXPECT_EQ(Output("data.bin"), text);
  EXPECT_TRUE(Output("empty.txt").empty());
  EXPECT_EQ(Output("small.txt"), ToBytes("new"));
  EXPECT_EQ(CurrentEntryName(), "small.txt");
}

TEST_F(Extraction, StoredPathModeMakesFoldersAndPlacesFiles) {
  ArchiveBuilder archive;
  archive.AddFolder("tools")
      .AddFolder("tools\\sub")
      .AddFile(ToBytes("a"), "a.dat", "tools\\a.dat")
      .AddFile(ToBytes("b"), "b.dat", "tools/sub/b.dat")
      .AddFile(ToBytes("top"), "elsewhere\\top.txt", "top.txt");
  const std::string path = Archive(archive);
  for (int run = 0; run < 2; ++run)
    ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, true)) << run;
  EXPECT_EQ(Listing(dest),
            (Names{"tools", "tools/a.dat", "tools/sub", "tools/sub/b.dat", "top.txt"}));
  EXPECT_EQ(Output("tools/sub/b.dat"), ToBytes("b"));
  ASSERT_TRUE(ExtractArchiveEntry(path, dest, 1, true));
  EXPECT_EQ(CurrentEntryName(), "top.txt") << "a folder entry is no entry in progress";

  // File-name mode has no folders: folder entries make nothing.
  fs::remove_all(dest);
  fs::create_directory(dest);
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(Listing(dest), (Names{"a.dat", "b.dat", "top.txt"}));
}

TEST_F(Extraction, EachEntryIsReadOnlyWithinItsOwnBytes) {
  // 234 packed bytes in front of entries larger than an input block: a reader
  // free to load whole blocks would report 4 + 4 + 32768 bytes read first.
  Bytes short_entry = testing::PackedLiterals(ToBytes("short"));
  short_entry.resize(234, 0);
  const Bytes noise = testing::RandomBytes(40000, 2);
  const Bytes binary = testing::BinaryLike(70000, 3);
  ArchiveBuilder archive;
  archive.Add(short_entry, "short.txt").AddFile(noise, "noise.bin").AddFile(binary, "binary.bin");
  ASSERT_TRUE(ExtractAllEntries(Archive(archive), dest, Recorder(), false));
  EXPECT_EQ(Output("short.txt"), ToBytes("short"));
  EXPECT_EQ(Output("noise.bin"), noise);
  EXPECT_EQ(Output("binary.bin"), binary);

  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points[0].name, "short.txt");
  EXPECT_EQ(points[0].read, 234);
  EXPECT_EQ(points[0].written, 0);
  for (const Point& p : points) EXPECT_LE(p.read, p.packed) << p.name;
  for (const auto& r : archive.records) {
    const auto last = std::find_if(points.rbegin(), points.rend(),
                                   [&](const Point& p) { return p.name == r.file_name; });
    ASSERT_NE(last, points.rend());
    EXPECT_EQ(last->packed, r.end - r.start);
    EXPECT_EQ(last->read, last->packed) << "the whole entry and nothing more";
    EXPECT_EQ(last->written, static_cast<int32_t>(Output(r.file_name).size()));
  }
}

TEST_F(Extraction, ProgressOnlyInsideExtractAllEntries) {
  const std::string path = Archive(ArchiveBuilder().AddFile(ToBytes("x"), "x.txt"));
  ASSERT_TRUE(ExtractAllEntries(path, dest, Recorder(), false));
  EXPECT_FALSE(ProgressHook) << "the caller's hook does not outlive the extraction";
  points.clear();
  {
    const HookInUse callers(Recorder());
    ASSERT_TRUE(ExtractArchiveEntry(path, dest, 0, false));
    EXPECT_TRUE(ProgressHook) << "the caller's hook is back";
  }
  EXPECT_TRUE(points.empty()) << "a lone entry reports no progress";
  int32_t read = -7;
  int32_t written = -9;
  GetEntryCounters(read, written);
  EXPECT_EQ(std::make_pair(read, written), std::make_pair(-7, -9));
}

TEST_F(Extraction, AFailedEntryIsDeletedAndEndsTheRun) {
  Bytes cut = testing::PackedLiterals(testing::TextLike(3000, 5));
  cut.resize(cut.size() / 2);
  ArchiveBuilder archive;
  archive.AddFile(ToBytes("zero"), "0.txt")
      .AddFile(ToBytes("one"), "1.txt")
      .Add(cut, "2.txt")
      .AddFile({}, "3.txt");
  const std::string path = Archive(archive);
  EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(Listing(dest), (Names{"0.txt", "1.txt"}));
  EXPECT_EQ(Output("1.txt"), ToBytes("one"));

  testing::WriteFileBytes(fs::path(dest) / "2.txt", ToBytes("existed before"));
  EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, dest, 2, false); }),
            "ELzrw1Exception: Lzrw1 (LZH decompression) : compressed data ends before the original "
            "size is reached !");
  EXPECT_FALSE(fs::exists(fs::path(dest) / "2.txt"));
}

TEST_F(Extraction, EveryCutOfAnEntryIsDetected) {
  ArchiveBuilder builder;
  builder.AddFile(testing::TextLike(2000, 6), "t.txt");
  TMemoryStream archive(builder.Build());
  ArchiveDirectoryEntry entry;
  entry.StartOffset = static_cast<int32_t>(builder.records[0].start);
  Tlzrw1 codec;
  codec.UseStream = true;
  for (auto end = entry.StartOffset; end <= builder.records[0].end; ++end) {
    entry.EndOffset = end;
    TEntryStream packed(archive, entry);
    TMemoryStream out;
    codec.InputStream = &packed;
    codec.OutputStream = &out;
    const bool whole = end == builder.records[0].end;
    EXPECT_EQ(FailureOf([&] { codec.Decompress(); }).empty(), whole) << end;
  }
}

TEST_F(Extraction, UnsafeNamesAreRefusedAndCreateNothing) {
  // File name, stored path, and the mode that reads it.
  for (const auto& [file_name, stored_path, stored_mode] :
       std::vector<std::tuple<std::string, std::string, bool>>{{"sub\\..", "", false},
                                                               {"../evil.txt", "", false},
                                                               {"x", "a\\..\\..\\evil.txt", true},
                                                               {"x", "C:evil.txt", true},
                                                               {"x", "|/evil", true},
                                                               {"NUL", "", false},
                                                               {"sub\\com1.txt", "", false},
                                                               {"x", "a\\CONOUT$", true},
                                                               {"x", "a\x1b[2J\\b", true},
                                                               {"x", "|d\\x\ny", true},
                                                               {"x", "a\\?*<>", true}}) {
    const std::string path =
        Archive(ArchiveBuilder().AddFile(ToBytes("payload"), file_name, stored_path));
    EXPECT_EQ(
        FailureOf([&] { ExtractArchiveEntry(path, dest, 0, stored_mode); }),
        "EArchiveError: Unsafe file name in archive: " + (stored_mode ? stored_path : file_name));
    EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, stored_mode));
  }
  EXPECT_TRUE(Listing(dest).empty());
  ExpectOnlyDestAndArchives();
}

TEST_F(Extraction, SpoiltDirectoriesStayInsideTheDestination) {
  ArchiveBuilder builder;
  builder.AddFolder("d")
      .AddFile(testing::TextLike(3000, 1), "d\\a.txt", "d\\a.txt")
      .AddFile({7}, "b.bin", "b.bin");
  const Bytes original = builder.Build();
  const size_t directory = original.size() - 4 - 428 * builder.records.size();
  const std::string path = dir.File("archive.exe");
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    Bytes bytes = original;
    for (auto n = 1 + rng() % 6; n > 0; --n) {
      const size_t at = directory + rng() % (bytes.size() - directory);
      bytes[at] = static_cast<uint8_t>(rng() % 4 == 0 ? "./\\:|"[rng() % 5] : rng());
    }
    testing::WriteFileBytes(path, bytes);
    ExtractAllEntries(path, dest, nullptr, round % 2 == 1);
  }
  ExpectOnlyDestAndArchives();
}

TEST_F(Extraction, BadOffsetsAndIndicesRaise) {
  const auto size = static_cast<int64_t>(ArchiveBuilder().AddFile({1}, "x").Build().size());
  for (const auto& [start, end] : std::vector<std::pair<int64_t, int64_t>>{
           {-1, 10}, {20, 10}, {7, size + 1}, {size + 1, size + 2}}) {
    ArchiveBuilder archive;
    archive.AddFile({1}, "x.bin");
    archive.records[0].start = start;
    archive.records[0].end = end;
    const std::string path = Archive(archive);
    EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, dest, 0, false); }),
              "EArchiveError: Damaged entry in archive: x.bin")
        << start << ".." << end;
  }
  const std::string path = Archive(ArchiveBuilder().AddFile({1}, "x").AddFile({2}, "y"));
  EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, dest, 2, false); }),
            "EArchiveError: Archive entry index out of range: 2");
  EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, dest, -1, false); }),
            "EArchiveError: Archive entry index out of range: -1");
  EXPECT_TRUE(Listing(dest).empty());
}

TEST_F(Extraction, TheDirectoryBelongsToOneArchive) {
  const std::string a = Archive(ArchiveBuilder().AddFile(ToBytes("from a"), "a.txt"));
  const std::string b =
      Archive(ArchiveBuilder(ToBytes("a longer image")).AddFile(ToBytes("from b"), "b.txt"));
  ASSERT_TRUE(ExtractArchiveEntry(a, dest, 0, false));
  ASSERT_TRUE(ExtractArchiveEntry(b, dest, 0, false));
  EXPECT_EQ(Output("a.txt"), ToBytes("from a"));
  EXPECT_EQ(Output("b.txt"), ToBytes("from b"));
}

TEST_F(Extraction, OpeningAndCreatingFailuresNameTheFile) {
  const std::string path = Archive(ArchiveBuilder().AddFile(ToBytes("x"), "x.txt", "tools\\x.txt"));
  const std::string missing = dir.File("missing");
  EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, missing + "\\", 0, false); }),
            "EFCreateError: Cannot create file " + HostPathFromArchive(missing + "\\\\x.txt"))
      << "one separator added, none removed";
  EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, dest, 0, true); }),
            "EFCreateError: Cannot create file " + HostPathFromArchive(dest + "\\tools\\x.txt"))
      << "a stored path needs its folder entry";
  ASSERT_TRUE(ExtractArchiveEntry(path, dest + "\\", 0, false));
  EXPECT_EQ(Output("x.txt"), ToBytes("x"));

  fs::remove(path);
  EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, dest, 0, false); }),
            "EFOpenError: Cannot open file " + path);
}

}  // namespace
}  // namespace stowaway
