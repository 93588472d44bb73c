// Extraction of one or all entries: output names in both modes, folder
// entries, progress, and every way an entry can fail without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "archive/entry_stream.h"
#include "archive/errors.h"
#include "archive/packerunit.h"
#include "compression/LZRW1.h"
#include "tests/archive/archive_builder.h"
#include "tests/archive/message_of.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::ArchiveBuilder;
using testing::Bytes;
using testing::MessageOf;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::ToBytes;

// Every file and folder under root, relative, with '/' between components.
std::vector<std::string> Listing(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    names.push_back(fs::relative(item.path(), root).generic_string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

using Names = std::vector<std::string>;

// What a progress hook sees of the entry in progress.
struct Point {
  std::string name;
  int32_t packed;
  int32_t read;
  int32_t written;
};

std::function<void()> Recorder(std::vector<Point>& points) {
  return [&points] {
    Point p{CurrentEntryName(), CurrentPackedSize(), -1, -1};
    GetEntryCounters(p.read, p.written);
    points.push_back(p);
  };
}

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    dest = dir.File("dest");
    fs::create_directory(dest);
  }
  // Every archive gets a path of its own: a path's directory, once read,
  // serves later single-entry calls for the same path.
  std::string Archive(const ArchiveBuilder& archive) {
    return archive.WriteTo(dir.File("archive" + std::to_string(++archives) + ".exe"));
  }
  Bytes Output(const std::string& name) const { return ReadFileBytes(fs::path(dest) / name); }

  TempDir dir;
  std::string dest;
  int archives = 0;
};

TEST_F(Extraction, FileNameModeWritesEveryFileUnderItsFileNamePart) {
  const Bytes text = testing::TextLike(50000, 1);
  const Bytes small = ToBytes("small");
  const std::string path = Archive(ArchiveBuilder()
                                       .AddFile(text, "sub\\data.bin")
                                       .AddFile({}, "empty.txt")
                                       .AddFile(small, "C:small.txt"));
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(Listing(dest), (Names{"data.bin", "empty.txt", "small.txt"}));
  EXPECT_EQ(Output("data.bin"), text);
  EXPECT_TRUE(Output("empty.txt").empty());
  EXPECT_EQ(Output("small.txt"), small);
}

TEST_F(Extraction, ReplacesAnExistingFile) {
  testing::WriteFileBytes(fs::path(dest) / "data.bin", ToBytes("an older and longer content"));
  const std::string path = Archive(ArchiveBuilder().AddFile(ToBytes("new"), "data.bin"));
  ASSERT_TRUE(ExtractArchiveEntry(path, dest, 0, false));
  EXPECT_EQ(Output("data.bin"), ToBytes("new"));
  EXPECT_EQ(CurrentEntryName(), "data.bin");
}

// Records the paths the extraction creates, and moves those that begin at a
// drive's root into a scratch folder.
class RecordingFiles final : public FileSystem {
 public:
  explicit RecordingFiles(std::string root) : root_(std::move(root)) {}
  FileHandle OpenRead(const std::string& path) override { return Native().OpenRead(path); }
  FileHandle OpenReadShared(const std::string& path) override { return Native().OpenReadShared(path); }
  FileHandle OpenReadWriteShared(const std::string& path) override {
    return Native().OpenReadWriteShared(path);
  }
  FileHandle Create(const std::string& path) override {
    created.push_back(path);
    return Native().Create(Moved(path));
  }
  int32_t Read(FileHandle f, void* b, int32_t n) override { return Native().Read(f, b, n); }
  int32_t Write(FileHandle f, const void* b, int32_t n) override { return Native().Write(f, b, n); }
  int64_t Seek(FileHandle f, int64_t o, SeekOrigin s) override { return Native().Seek(f, o, s); }
  void Close(FileHandle f) override { Native().Close(f); }
  bool Delete(const std::string& path) override { return Native().Delete(Moved(path)); }
  bool CreateFolder(const std::string& path) override {
    created.push_back(path);
    return Native().CreateFolder(Moved(path));
  }

  std::vector<std::string> created;

 private:
  static FileSystem& Native() { return NativeFileSystem(); }
  std::string Moved(const std::string& path) const { return path[0] == '\\' ? root_ + path : path; }
  std::string root_;
};

TEST_F(Extraction, JoinsTheDestinationWithExactlyOneBackslash) {
  const std::string path = Archive(ArchiveBuilder().AddFile(ToBytes("x"), "data.bin"));
  RecordingFiles files(dest);
  ScopedFileSystem scope(files);
  ASSERT_TRUE(ExtractArchiveEntry(path, "", 0, false));
  ASSERT_TRUE(ExtractArchiveEntry(path, dest + "\\", 0, false));
  EXPECT_EQ(files.created, (Names{"\\data.bin", dest + "\\\\data.bin"}));
  EXPECT_EQ(Output("data.bin"), ToBytes("x"));
}

TEST_F(Extraction, StoredPathModeMakesFoldersAndPlacesFiles) {
  const std::string path = Archive(ArchiveBuilder()
                                       .AddFolder("tools")
                                       .AddFolder("tools\\sub")
                                       .AddFile(ToBytes("a"), "a.dat", "tools\\a.dat")
                                       .AddFile(ToBytes("b"), "b.dat", "tools/sub/b.dat")
                                       .AddFile(ToBytes("top"), "elsewhere\\top.txt", "top.txt"));
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, true)) << "run " << run;
  }
  EXPECT_EQ(Listing(dest), (Names{"tools", "tools/a.dat", "tools/sub", "tools/sub/b.dat", "top.txt"}));
  EXPECT_EQ(Output("tools/sub/b.dat"), ToBytes("b"));
  EXPECT_EQ(CurrentEntryName(), "top.txt");

  // A folder entry leaves the entry in progress as it was.
  ASSERT_TRUE(ExtractArchiveEntry(path, dest, 1, true));
  EXPECT_EQ(CurrentEntryName(), "top.txt");
}

TEST_F(Extraction, StoredPathWithoutItsFolderEntryCannotBeCreated) {
  const std::string path = Archive(ArchiveBuilder().AddFile(ToBytes("a"), "a.dat", "tools\\a.dat"));
  EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, dest, 0, true); }),
            "EFCreateError: Cannot create file " + dest + "\\tools\\a.dat");
  EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, true));
  EXPECT_TRUE(Listing(dest).empty());
}

TEST_F(Extraction, FileNameModeSkipsFolderEntries) {
  ArchiveBuilder archive;
  archive.AddFolder("tools").AddFile(ToBytes("a"), "tools\\a.dat", "tools\\a.dat");
  ASSERT_TRUE(ExtractAllEntries(Archive(archive), dest, nullptr, false));
  EXPECT_EQ(Listing(dest), (Names{"a.dat"}));
}

TEST_F(Extraction, ForeignSignatureChangesNothing) {
  ArchiveBuilder archive;
  archive.AddFile(ToBytes("still here"), "x.txt");
  archive.records[0].signature = "NOTOURS";
  ASSERT_TRUE(ExtractAllEntries(Archive(archive), dest, nullptr, false));
  EXPECT_EQ(Output("x.txt"), ToBytes("still here"));
}

TEST_F(Extraction, EachEntryIsReadOnlyWithinItsOwnBytes) {
  // Entries larger than one input block, so that an unbounded reader would
  // read well into the next entry.
  const Bytes first = testing::RandomBytes(40000, 2);
  const Bytes second = testing::BinaryLike(70000, 3);
  ArchiveBuilder archive;
  archive.AddFile(first, "first.bin").AddFile(second, "second.bin").AddFile({}, "third.bin");
  std::vector<Point> points;
  ASSERT_TRUE(ExtractAllEntries(Archive(archive), dest, Recorder(points), false));
  EXPECT_EQ(Output("first.bin"), first);
  EXPECT_EQ(Output("second.bin"), second);
  EXPECT_TRUE(Output("third.bin").empty());

  ASSERT_FALSE(points.empty());
  for (const Point& p : points) {
    EXPECT_LE(p.read, p.packed) << p.name;
    EXPECT_GE(p.read, 8) << p.name;
  }
  for (size_t i = 0; i < archive.records.size(); ++i) {
    const auto& r = archive.records[i];
    const auto last = std::find_if(points.rbegin(), points.rend(),
                                   [&](const Point& p) { return p.name == r.file_name; });
    ASSERT_NE(last, points.rend()) << r.file_name;
    EXPECT_EQ(last->packed, r.end - r.start);
    EXPECT_EQ(last->read, last->packed) << "the whole entry and nothing more";
    EXPECT_EQ(last->written, static_cast<int32_t>(Output(r.file_name).size()));
  }
}

TEST_F(Extraction, FirstReportOfAnEntryCountsOnlyItsOwnBytes) {
  // 234 packed bytes with a large entry behind them: a reader free to load
  // a whole block would report 4 + 4 + 32768 bytes read.
  Bytes packed = testing::PackedLiterals(ToBytes("short"));
  packed.resize(234, 0);
  ArchiveBuilder archive;
  archive.Add(packed, "short.txt").AddFile(testing::RandomBytes(40000, 7), "large.bin");
  std::vector<Point> points;
  ASSERT_TRUE(ExtractAllEntries(Archive(archive), dest, Recorder(points), false));
  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points[0].name, "short.txt");
  EXPECT_EQ(points[0].packed, 234);
  EXPECT_EQ(points[0].read, 234);
  EXPECT_EQ(points[0].written, 0);
  EXPECT_EQ(Output("short.txt"), ToBytes("short"));
}

TEST_F(Extraction, ProgressOnlyInsideExtractAllEntries) {
  const std::string path = Archive(ArchiveBuilder().AddFile(ToBytes("x"), "x.txt"));
  int calls = 0;
  ASSERT_TRUE(ExtractAllEntries(path, dest, [&] { ++calls; }, false));
  EXPECT_GT(calls, 0);
  EXPECT_FALSE(ProgressHook) << "the caller's hook does not outlive the extraction";

  calls = 0;
  ProgressHook = [&] { ++calls; };
  ASSERT_TRUE(ExtractArchiveEntry(path, dest, 0, false));
  EXPECT_EQ(calls, 0) << "a lone entry reports no progress";
  ProgressHook = nullptr;

  int32_t read = -7;
  int32_t written = -9;
  GetEntryCounters(read, written);
  EXPECT_EQ(read, -7);
  EXPECT_EQ(written, -9);
}

TEST_F(Extraction, AFailedEntryIsDeletedAndEndsTheRun) {
  const Bytes text = testing::TextLike(3000, 5);
  Bytes cut = testing::PackedLiterals(text);
  cut.resize(cut.size() / 2);
  ArchiveBuilder archive;
  archive.AddFile(ToBytes("zero"), "0.txt")
      .AddFile(ToBytes("one"), "1.txt")
      .Add(cut, "2.txt")
      .AddFile(ToBytes("three"), "3.txt");
  const std::string path = Archive(archive);
  EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(Listing(dest), (Names{"0.txt", "1.txt"}));
  EXPECT_EQ(Output("1.txt"), ToBytes("one"));

  testing::WriteFileBytes(fs::path(dest) / "2.txt", ToBytes("existed before"));
  EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, dest, 2, false); }),
            "ELzrw1Exception: Lzrw1 (LZH decompression) : compressed data ends before the original "
            "size is reached !");
  EXPECT_FALSE(fs::exists(fs::path(dest) / "2.txt"));
}

TEST_F(Extraction, WriteFailureLeavesNoFileAndNothingOpen) {
  const std::string path =
      Archive(ArchiveBuilder().AddFile(ToBytes("zero"), "0.txt").AddFile(ToBytes("one"), "1.txt"));
  testing::FaultyFiles files({testing::FaultOp::Write, 2});
  ScopedFileSystem scope(files);
  EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(Listing(dest), (Names{"0.txt"}));
  EXPECT_EQ(files.OpenCount(), 0u);
}

TEST_F(Extraction, EveryCutOfAnEntryIsDetected) {
  const Bytes text = testing::TextLike(2000, 6);
  ArchiveBuilder builder;
  builder.AddFile(text, "t.txt");
  const Bytes bytes = builder.Build();
  TMemoryStream archive(bytes);
  ArchiveDirectoryEntry entry;
  entry.FileName = "t.txt";
  entry.StartOffset = static_cast<int32_t>(builder.records[0].start);
  const auto full = static_cast<int32_t>(builder.records[0].end);
  Tlzrw1 codec;
  codec.UseStream = true;
  for (int32_t end = entry.StartOffset; end < full; ++end) {
    entry.EndOffset = end;
    TEntryStream packed(archive, entry);
    TMemoryStream out;
    codec.InputStream = &packed;
    codec.OutputStream = &out;
    EXPECT_THROW(codec.Decompress(), ELzrw1Exception) << "cut at " << end;
  }
  entry.EndOffset = full;
  TEntryStream packed(archive, entry);
  TMemoryStream out;
  codec.InputStream = &packed;
  codec.OutputStream = &out;
  EXPECT_EQ(codec.Decompress(), 2000);
  EXPECT_EQ(out.Data(), text);
}

TEST_F(Extraction, UnsafeNamesAreRefusedAndCreateNothing) {
  struct Case {
    std::string file_name;
    std::string stored_path;
    bool stored_mode;
    std::string refused;
  };
  const std::vector<Case> cases = {
      {"..", "", false, ".."},
      {"sub\\..", "", false, "sub\\.."},
      {"C:..", "", false, "C:.."},
      {"../../evil.txt", "", false, "../../evil.txt"},
      {"a/b", "", false, "a/b"},
      {"dir\\", "", false, "dir\\"},
      {"", "", false, ""},
      {"what?.txt", "", false, "what?.txt"},
      {"...", "", false, "..."},
      {"x", "\\evil.txt", true, "\\evil.txt"},
      {"x", "/evil.txt", true, "/evil.txt"},
      {"x", "C:\\evil.txt", true, "C:\\evil.txt"},
      {"x", "C:evil.txt", true, "C:evil.txt"},
      {"x", "x.txt:stream", true, "x.txt:stream"},
      {"x", "..\\evil.txt", true, "..\\evil.txt"},
      {"x", "a\\..\\..\\evil.txt", true, "a\\..\\..\\evil.txt"},
      {"x", "a/../../evil.txt", true, "a/../../evil.txt"},
      {"x", "a\\\\evil.txt", true, "a\\\\evil.txt"},
      {"x", "", true, ""},
      {"x", "|..", true, "|.."},
      {"x", "|\\evil", true, "|\\evil"},
      {"x", "|a\\..\\..\\evil", true, "|a\\..\\..\\evil"},
      {"x", "|", true, "|"},
  };
  for (const Case& c : cases) {
    ArchiveBuilder archive;
    archive.AddFile(ToBytes("payload"), c.file_name, c.stored_path);
    const std::string path = Archive(archive);
    EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, dest, 0, c.stored_mode); }),
              "EArchiveError: Unsafe file name in archive: " + c.refused);
    EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, c.stored_mode)) << c.refused;
  }
  EXPECT_TRUE(Listing(dest).empty());
  for (const auto& item : fs::directory_iterator(dir.Path())) {
    const std::string name = item.path().filename().string();
    EXPECT_TRUE(name == "dest" || name.rfind("archive", 0) == 0) << name;
  }
}

TEST_F(Extraction, SpoiltDirectoriesStayInsideTheDestination) {
  ArchiveBuilder builder;
  builder.AddFolder("d")
      .AddFile(testing::TextLike(3000, 1), "d\\a.txt", "d\\a.txt")
      .AddFile(testing::BinaryLike(2000, 2), "b.bin", "b.bin");
  const Bytes original = builder.Build();
  const size_t directory = original.size() - 4 - 428 * builder.records.size();
  const std::string path = dir.File("spoilt.exe");
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    Bytes bytes = original;
    for (int n = 1 + static_cast<int>(rng() % 6); n > 0; --n) {
      const size_t at = directory + rng() % (bytes.size() - directory);
      bytes[at] = static_cast<uint8_t>(rng() % 4 == 0 ? "./\\:|"[rng() % 5] : rng());
    }
    testing::WriteFileBytes(path, bytes);
    ExtractAllEntries(path, dest, nullptr, round % 2 == 1);
  }
  for (const auto& item : fs::directory_iterator(dir.Path())) {
    const std::string name = item.path().filename().string();
    EXPECT_TRUE(name == "dest" || name == "spoilt.exe") << name;
  }
}

TEST_F(Extraction, OffsetsOutsideTheFileFailTheEntry) {
  const int64_t size = static_cast<int64_t>(ArchiveBuilder().AddFile({1}, "x").Build().size());
  const std::vector<std::pair<int64_t, int64_t>> spoilt = {
      {-1, 10}, {20, 10}, {7, size + 1}, {size + 1, size + 2}, {-100, -50}};
  for (const auto& [start, end] : spoilt) {
    ArchiveBuilder archive;
    archive.AddFile({1}, "x.bin");
    archive.records[0].start = start;
    archive.records[0].end = end;
    const std::string path = Archive(archive);
    EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, dest, 0, false); }),
              "EArchiveError: Damaged entry in archive: x.bin")
        << start << ".." << end;
  }
  EXPECT_TRUE(Listing(dest).empty());
}

TEST_F(Extraction, IndexOutsideTheDirectoryRaises) {
  const std::string path = Archive(ArchiveBuilder().AddFile({1}, "x").AddFile({2}, "y"));
  EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, dest, 2, false); }),
            "EArchiveError: Archive entry index out of range: 2");
  EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, dest, -1, false); }),
            "EArchiveError: Archive entry index out of range: -1");
  EXPECT_TRUE(Listing(dest).empty());
}

TEST_F(Extraction, TheDirectoryBelongsToOneArchive) {
  const std::string a = Archive(ArchiveBuilder().AddFile(ToBytes("from a"), "a.txt"));
  const std::string b =
      Archive(ArchiveBuilder(ToBytes("a longer program image")).AddFile(ToBytes("from b"), "b.txt"));
  ASSERT_TRUE(ExtractArchiveEntry(a, dest, 0, false));
  ASSERT_TRUE(ExtractArchiveEntry(b, dest, 0, false));
  EXPECT_EQ(Output("a.txt"), ToBytes("from a"));
  EXPECT_EQ(Output("b.txt"), ToBytes("from b"));
}

TEST_F(Extraction, OpeningAndCreatingFailuresNameTheFile) {
  const std::string path = Archive(ArchiveBuilder().AddFile(ToBytes("x"), "x.txt"));
  const std::string missing = dir.File("missing");
  EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, missing, 0, false); }),
            "EFCreateError: Cannot create file " + missing + "\\x.txt");

  ASSERT_TRUE(ReadArchiveDirectory(path));
  fs::remove(path);
  EXPECT_EQ(MessageOf([&] { ExtractArchiveEntry(path, dest, 0, false); }),
            "EFOpenError: Cannot open file " + path);
}

}  // namespace
}  // namespace stowaway
