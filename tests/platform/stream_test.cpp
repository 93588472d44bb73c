// The file layer and the stream objects, on real files.
#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/host.h"
#include "platform/stream.h"
#include "tests/support/faults.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::TempDir;

TEST(FileLayer, CreateWriteReadSeekDelete) {
  TempDir dir;
  const std::string path = dir.File("data.bin");
  FileSystem& files = Files();

  const FileHandle out = files.Create(path);
  ASSERT_GT(out, 0);
  EXPECT_EQ(files.Write(out, "hello world", 11), 11);
  EXPECT_EQ(files.Seek(out, 0, SeekOrigin::Current), 11);
  files.Close(out);

  const FileHandle in = files.OpenRead(path);
  ASSERT_GT(in, 0);
  char buffer[32] = {};
  EXPECT_EQ(files.Seek(in, 6, SeekOrigin::Begin), 6);
  EXPECT_EQ(files.Read(in, buffer, 32), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(files.Read(in, buffer, 32), 0) << "0 at the end of the file";
  EXPECT_EQ(files.Seek(in, -2, SeekOrigin::End), 9);
  EXPECT_EQ(files.Seek(in, -20, SeekOrigin::Current), -1) << "before the start fails";
  files.Close(in);

  EXPECT_TRUE(files.Delete(path));
  EXPECT_FALSE(files.Delete(path));
  EXPECT_LT(files.OpenRead(path), 0);
  EXPECT_LT(files.OpenReadShared(path), 0);
  EXPECT_LT(files.OpenReadWriteShared(path), 0);
}

TEST(FileLayer, PathsAreUsedAsGivenAndArchivePathsConverted) {
  TempDir dir;
  const std::string folder = HostPathFromArchive(dir.Path().string() + "\\sub");
  EXPECT_TRUE(Files().CreateFolder(folder));
  EXPECT_FALSE(Files().CreateFolder(folder)) << "an existing folder is a failure";
  const FileHandle out = Files().Create(HostPathFromArchive(folder + "\\a.txt"));
  ASSERT_GT(out, 0);
  Files().Close(out);
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "sub" / "a.txt"));
  EXPECT_LT(Files().OpenRead(folder), 0) << "a folder is not a file";
  if (PathSeparator() == '/') {
    // A user's "sub\\b.txt" is one name here.
    const FileHandle named = Files().Create(dir.File("sub\\b.txt"));
    ASSERT_GT(named, 0);
    Files().Close(named);
    EXPECT_EQ(testing::Listing(dir.Path()), (std::vector<std::string>{"sub", "sub\\b.txt"}));
  }
}

TEST(FileLayer, MissingFolderCannotBeCreatedInto) {
  TempDir dir;
  EXPECT_LT(Files().Create(HostPathFromArchive(dir.File("missing") + "\\a.txt")), 0);
  EXPECT_FALSE(Files().CreateFolder(HostPathFromArchive(dir.File("missing") + "\\deeper")));
}

TEST(FileStream, SizeKeepsThePosition) {
  TempDir dir;
  testing::WriteFileBytes(dir.File("f"), testing::RandomBytes(1000, 1));
  TFileStream stream(dir.File("f"), TFileStream::Mode::OpenRead);
  EXPECT_EQ(stream.Seek(300, SeekOrigin::Begin), 300);
  EXPECT_EQ(stream.Size(), 1000);
  EXPECT_EQ(stream.Position(), 300);
}

TEST(FileStream, ReadStreamSharesTheFileWithWriters) {
  TempDir dir;
  testing::WriteFileBytes(dir.File("f"), testing::ToBytes("abc"));
  TFileStream reader(dir.File("f"), TFileStream::Mode::OpenRead);
  TFileStream second(dir.File("f"), TFileStream::Mode::OpenRead);
  const FileHandle probe = Files().OpenReadWriteShared(dir.File("f"));
  EXPECT_GT(probe, 0) << "the size probe opens a file others are reading";
  if (probe > 0) Files().Close(probe);
  uint8_t byte = 0;
  EXPECT_EQ(second.Read(&byte, 1), 1);
  EXPECT_EQ(byte, 'a');
}

TEST(FileStream, CreateWritesAndClosesOnDestruction) {
  TempDir dir;
  {
    TFileStream out(dir.File("f"), TFileStream::Mode::Create);
    EXPECT_EQ(out.Write("xyz", 3), 3);
  }
  EXPECT_EQ(testing::ReadFileBytes(dir.File("f")), testing::ToBytes("xyz"));
  EXPECT_TRUE(Files().Delete(dir.File("f"))) << "closed, so it can be deleted";
}

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile) {
  TMemoryStream stream;
  EXPECT_EQ(stream.Write("abcdef", 6), 6);
  EXPECT_EQ(stream.Size(), 6);
  EXPECT_EQ(stream.Seek(2, SeekOrigin::Begin), 2);
  char buffer[8] = {};
  EXPECT_EQ(stream.Read(buffer, 8), 4);
  EXPECT_EQ(std::string(buffer, 4), "cdef");
  EXPECT_EQ(stream.Read(buffer, 8), 0);
  EXPECT_EQ(stream.Seek(-1, SeekOrigin::Begin), -1);
  EXPECT_EQ(stream.Seek(-3, SeekOrigin::End), 3);
  EXPECT_EQ(stream.Write("XYZW", 4), 4) << "writing past the end grows the stream";
  EXPECT_EQ(stream.Data(), testing::ToBytes("abcXYZW"));
}

TEST(WriteBuffer, PassesWritesOnInFewLargePiecesWithTheSameBytes) {
  TMemoryStream target;
  testing::FaultyStream counted(target);
  const std::vector<uint8_t> data = testing::RandomBytes(10000, 7);
  {
    TWriteBuffer buffered(counted, 1024);
    size_t at = 0;
    // Pieces smaller than, equal to and larger than the buffer.
    for (const size_t piece : {1u, 300u, 1024u, 3000u, 5u, 1000u}) {
      ASSERT_EQ(buffered.Write(data.data() + at, static_cast<int32_t>(piece)),
                static_cast<int32_t>(piece));
      at += piece;
    }
    EXPECT_EQ(buffered.Seek(0, SeekOrigin::Current), static_cast<int64_t>(at))
        << "a seek passes on what is held first";
    const auto rest = static_cast<int32_t>(data.size() - at - 10);
    ASSERT_EQ(buffered.Write(data.data() + at, rest), rest);
    ASSERT_EQ(buffered.Write(data.data() + at + rest, 10), 10);
    EXPECT_LT(target.Data().size(), data.size()) << "the tail is held until flushed";
    EXPECT_TRUE(buffered.Flush());
  }
  EXPECT_EQ(target.Data(), data);
  EXPECT_LE(counted.Counts().writes, 7);
}

TEST(WriteBuffer, ARefusedPieceFailsThatWriteTheFlushAndEveryLaterWrite) {
  for (const testing::FaultKind kind : {testing::FaultKind::Fail, testing::FaultKind::Short}) {
    TMemoryStream target;
    testing::FaultyStream faulty(target, {testing::FaultOp::Write, 1, kind});
    TWriteBuffer buffered(faulty, 100);
    const std::vector<uint8_t> data(60, 1);
    EXPECT_EQ(buffered.Write(data.data(), 60), 60) << "held, not yet passed on";
    EXPECT_EQ(buffered.Write(data.data(), 60), -1) << "passing on the first piece fails";
    EXPECT_EQ(buffered.Write(data.data(), 1), -1);
    EXPECT_FALSE(buffered.Flush());
    EXPECT_EQ(buffered.Seek(0, SeekOrigin::Begin), -1);
  }
  TMemoryStream target;
  testing::FaultyStream faulty(target, {testing::FaultOp::Write, 1, testing::FaultKind::Fail});
  TWriteBuffer buffered(faulty, 100);
  EXPECT_EQ(buffered.Write("abc", 3), 3);
  EXPECT_FALSE(buffered.Flush()) << "a failure at the last flush is seen there";
}

TEST(ScopedFileSystem, ReplacesTheFileLayerAndRestoresIt) {
  TempDir dir;
  testing::WriteFileBytes(dir.File("f"), testing::ToBytes("abc"));
  testing::FaultyFiles fake;
  {
    ScopedFileSystem scope(fake);
    EXPECT_EQ(&Files(), &fake);
    {
      TFileStream stream(dir.File("f"), TFileStream::Mode::OpenRead);
      EXPECT_EQ(fake.OpenCount(), 1u);
    }
    EXPECT_EQ(fake.OpenCount(), 0u) << "closed with the stream";
  }
  EXPECT_EQ(&Files(), &NativeFileSystem());
}

}  // namespace
}  // namespace stowaway
