// The trailer reader against hand-laid and hostile trailers.
#include "archive/directory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

#include "archive/packerunit.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

using testing::ArchiveBuilder;
using testing::Bytes;

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

class Trailer : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    const std::string path = dir.File("archive" + std::to_string(++written));
    testing::WriteFileBytes(path, bytes);
    return path;
  }
  // An archive of `count` one-byte entries whose count field says `claimed`.
  std::string Archive(int count, int64_t claimed) {
    ArchiveBuilder archive;
    for (int i = 0; i < count; ++i) archive.Add({static_cast<uint8_t>(i)}, std::to_string(i));
    Bytes bytes = archive.Build();
    testing::PutLE32(bytes, bytes.size() - 4, claimed);
    return Write(bytes);
  }

  testing::TempDir dir;
  int written = 0;
};

TEST_F(Trailer, AcceptsOneTo501RecordsWithinTheFile) {
  EXPECT_TRUE(ReadArchiveDirectory(Archive(1, 1)));
  EXPECT_EQ(ReadDirectory(Archive(501, 501)).size(), 501u);
  Bytes bare(432, 0);  // the directory at the file's very first byte
  bare[428] = 1;
  EXPECT_TRUE(ReadArchiveDirectory(Write(bare)));
}

TEST_F(Trailer, RefusesWhatTheTableCannotHold) {
  Bytes one_short(431, 0);
  one_short[427] = 1;
  const std::string missing = dir.File("missing.exe");
  const std::vector<std::string> refused = {Write({}),      Write({1, 0, 0}),    Archive(1, 0),
                                            Archive(1, -1), Archive(1, INT_MIN), Archive(501, 502),
                                            Archive(1, 2),  Write(one_short)};
  const std::string dest = dir.File("out");
  for (const std::string& path : refused) {
    EXPECT_THAT(testing::FailureOf([&] { ReadDirectory(path); }),
                ::testing::StartsWith("EUnreadableArchive: No archive directory in " + path + ": "));
    EXPECT_FALSE(ReadArchiveDirectory(path)) << path;
    EXPECT_FALSE(ExtractArchiveEntry(path, dest, 0, false)) << path;
    EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, false)) << path;
  }
  EXPECT_EQ(testing::FailureOf([&] { ReadDirectory(missing); }),
            "EFOpenError: Cannot open file " + missing);
  EXPECT_FALSE(ReadArchiveDirectory(missing));
  EXPECT_FALSE(ExtractArchiveEntry(missing, dest, 0, false));
  EXPECT_FALSE(std::filesystem::exists(dest));
}

}  // namespace
}  // namespace stowaway
