// The directory record's layout and the trailer reader, against hand-laid
// bytes and hostile trailers.
#include <gtest/gtest.h>

#include <climits>

#include "archive/directory.h"
#include "archive/errors.h"
#include "archive/packerunit.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

using testing::ArchiveBuilder;
using testing::Bytes;
using testing::RawRecord;
using testing::RecordBytes;
using testing::TempDir;

TEST(DirectoryRecord, DecodesEveryField) {
  const RawRecord raw{"QZFILEID", 0x01020304, 0x7FFFFFF0, "sub\\data.bin", "|tools"};
  const ArchiveDirectoryEntry entry = DecodeDirectoryEntry(RecordBytes(raw).data());
  EXPECT_EQ(entry.Signature, "QZFILEID");
  EXPECT_EQ(entry.StartOffset, 0x01020304);
  EXPECT_EQ(entry.EndOffset, 0x7FFFFFF0);
  EXPECT_EQ(entry.FileName, "sub\\data.bin");
  EXPECT_EQ(entry.StoredPath, "|tools");
  EXPECT_TRUE(entry.IsFolder());

  const RawRecord negative{"", -5, -1, "", ""};
  const ArchiveDirectoryEntry spoilt = DecodeDirectoryEntry(RecordBytes(negative).data());
  EXPECT_EQ(spoilt.StartOffset, -5);
  EXPECT_EQ(spoilt.EndOffset, -1);
  EXPECT_FALSE(spoilt.IsFolder());
}

TEST(DirectoryRecord, LengthBytesAboveCapacityReadAsTheCapacity) {
  Bytes bytes(428);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>('A' + i % 26);
  bytes[0] = 255;
  bytes[24] = 201;
  bytes[225] = 255;
  const ArchiveDirectoryEntry entry = DecodeDirectoryEntry(bytes.data());
  EXPECT_EQ(entry.Signature, std::string(bytes.begin() + 1, bytes.begin() + 16));
  EXPECT_EQ(entry.FileName, std::string(bytes.begin() + 25, bytes.begin() + 225));
  EXPECT_EQ(entry.StoredPath, std::string(bytes.begin() + 226, bytes.begin() + 426));
}

TEST(DirectoryRecord, EncodesWithZeroFillerAndReservedBytes) {
  ArchiveDirectoryEntry entry;
  entry.Signature = "QZFILEID";
  entry.StartOffset = 7;
  entry.EndOffset = 0x12345678;
  entry.FileName = std::string(200, 'f');
  entry.StoredPath = "dir\\x.txt";
  Bytes encoded(428, 0xCC);
  EncodeDirectoryEntry(entry, encoded.data());
  EXPECT_EQ(encoded, RecordBytes({"QZFILEID", 7, 0x12345678, std::string(200, 'f'), "dir\\x.txt"}));
}

class Trailer : public ::testing::Test {
 protected:
  // An archive of `count` one-byte entries, with its count field replaced.
  std::string Archive(int count, int64_t count_field) {
    ArchiveBuilder archive;
    for (int i = 0; i < count; ++i) archive.Add({static_cast<uint8_t>(i)}, std::to_string(i));
    Bytes bytes = archive.Build();
    testing::PutLE32(bytes, bytes.size() - 4, count_field);
    return Write(bytes);
  }
  std::string Write(const Bytes& bytes) {
    const std::string path = dir.File("archive" + std::to_string(++written) + ".exe");
    testing::WriteFileBytes(path, bytes);
    return path;
  }
  static std::string Refusal(const std::string& path) {
    try {
      ReadDirectory(path);
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message();
    }
    return "(read)";
  }

  TempDir dir;
  int written = 0;
};

TEST_F(Trailer, ReadsTheRecordsInFileOrder) {
  ArchiveBuilder archive;
  archive.AddFile(testing::ToBytes("one"), "a\\one.txt", "a\\one.txt").AddFolder("b");
  const std::string path = Write(archive.Build());
  ASSERT_TRUE(ReadArchiveDirectory(path));
  const std::vector<ArchiveDirectoryEntry> entries = ReadDirectory(path);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].FileName, "a\\one.txt");
  EXPECT_EQ(entries[0].StartOffset, 7);
  EXPECT_EQ(entries[0].EndOffset, archive.records[0].end);
  EXPECT_EQ(entries[1].StoredPath, "|b");
  EXPECT_EQ(entries[1].StartOffset, entries[0].EndOffset);
}

TEST_F(Trailer, CountsTheTableCanHold) {
  EXPECT_TRUE(ReadArchiveDirectory(Archive(1, 1)));
  const std::string full = Archive(501, 501);
  EXPECT_TRUE(ReadArchiveDirectory(full));
  EXPECT_EQ(ReadDirectory(full).size(), 501u);
  // The directory may begin at the file's very first byte.
  Bytes bare(432, 0);
  bare[428] = 1;
  EXPECT_TRUE(ReadArchiveDirectory(Write(bare)));
}

TEST_F(Trailer, RefusesWhatTheTableCannotHold) {
  struct Case {
    std::string what;
    std::string path;
  };
  Bytes one_short(431, 0);
  one_short[427] = 1;
  const std::vector<Case> cases = {
      {"no file", dir.File("missing.exe")},
      {"empty file", Write({})},
      {"three bytes", Write({1, 0, 0})},
      {"N = 0", Archive(1, 0)},
      {"N = -1", Archive(1, -1)},
      {"N = INT_MIN", Archive(1, INT_MIN)},
      {"N = 502", Archive(501, 502)},
      {"N = 2 in a file for 1", Archive(1, 2)},
      {"directory before offset 0", Write(one_short)},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ReadArchiveDirectory(c.path)) << c.what;
    const std::string dest = dir.File("out");
    EXPECT_FALSE(ExtractArchiveEntry(c.path, dest, 0, false)) << c.what;
    EXPECT_FALSE(ExtractAllEntries(c.path, dest, nullptr, false)) << c.what;
    EXPECT_FALSE(std::filesystem::exists(dest)) << c.what;
  }
  EXPECT_EQ(Refusal(cases[0].path), "EFOpenError: Cannot open file " + cases[0].path);
  for (size_t i = 1; i < cases.size(); ++i) {
    EXPECT_EQ(Refusal(cases[i].path), "EArchiveError: No archive directory in " + cases[i].path);
  }
}

TEST_F(Trailer, ReadFailuresAreRefusals) {
  TMemoryStream archive(ArchiveBuilder().AddFile({1, 2, 3}, "x").Build());
  for (const testing::Fault fault : {testing::Fault{testing::FaultOp::Seek, 1},
                                     testing::Fault{testing::FaultOp::Seek, 4},
                                     testing::Fault{testing::FaultOp::Read, 1},
                                     testing::Fault{testing::FaultOp::Read, 2, testing::FaultKind::Short}}) {
    testing::FaultyStream faulty(archive, fault);
    EXPECT_THROW(ReadDirectory(faulty, "x.exe"), EArchiveError) << fault.nth;
  }
}

}  // namespace
}  // namespace stowaway
