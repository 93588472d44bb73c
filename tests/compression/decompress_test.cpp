// Decompress of both codecs: where it starts and stops in a larger stream,
// what is no packed stream, and what a failed transfer leaves in file mode.
// Each single failing call is swept in fault_sweep_test.
#include <gtest/gtest.h>

#include <filesystem>

#include "compression/bytes.h"
#include "tests/compression/observe.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::FailureOf;

TEST(StreamMode, StartsAtThePositionAndReadsAsItsCodecDoes) {
  const Bytes input = testing::TextLike(70000, 2);
  for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast}) {
    const Bytes packed = testing::Packed(input, mode);
    Bytes container = testing::RandomBytes(1000, 1);
    container.insert(container.end(), packed.begin(), packed.end());
    const Bytes tail = testing::RandomBytes(50000, 2);
    container.insert(container.end(), tail.begin(), tail.end());
    const testing::Observed seen = testing::Observe(testing::Operation::Decompress, mode, container, 1000);
    EXPECT_EQ(seen.output, input);
    // LZRW1/KH reads exactly its blocks; the LZH reader loads 32768 bytes
    // behind the header, whatever they are.
    const auto read = static_cast<int32_t>(mode == TCompressMode::Fast ? packed.size() : 8 + 32768);
    EXPECT_EQ(seen.input_position, 1000 + read);
    EXPECT_EQ(seen.points.back().first, read);
  }
}

TEST(StreamMode, WhatIsNoPackedStreamIsRefusedAndTheCountsStay) {
  Tlzrw1 codec;
  TMemoryStream packed(testing::Packed(testing::TextLike(50000, 4), TCompressMode::Good));
  TMemoryStream foreign(testing::ToBytes("MZ, not packed"));
  TMemoryStream out;
  codec.UseStream = true;
  codec.InputStream = &packed;
  codec.OutputStream = &out;
  ASSERT_EQ(codec.Decompress(), 50000);
  const int32_t read = codec.BytesRead;
  codec.InputStream = &foreign;
  EXPECT_EQ(FailureOf([&] { codec.Decompress(); }),
            "ELzrw1Exception: Lzrw1 decompression : input stream contains no valid header !");
  EXPECT_EQ(out.Data().size(), 50000u) << "nothing written";
  EXPECT_EQ(codec.BytesRead, read);
  EXPECT_EQ(codec.BytesWritten, 50000);
}

TEST(StreamMode, NothingIsWrittenPastTheDeclaredSize) {
  // A run of zeros packs to a few bytes a block: repeated, they stand for far
  // more output than a hostile header declares.
  const Bytes zeros(32768, 0);
  const Bytes fast = testing::Packed(zeros, TCompressMode::Fast);
  const size_t block = fast.size() - 8 - 3;  // the full block before the empty one
  Bytes bomb(fast.begin(), fast.begin() + 8);
  StoreLE32(bomb.data() + 4, 100);
  for (int k = 0; k < 300; ++k) bomb.insert(bomb.end(), fast.begin() + 8, fast.begin() + 8 + block);
  bomb.insert(bomb.end(), fast.end() - 3, fast.end());
  testing::Observed seen = testing::Observe(testing::Operation::Decompress, TCompressMode::Fast, bomb);
  EXPECT_EQ(seen.outcome,
            "ELzrw1Exception: Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !");
  EXPECT_EQ(seen.output.size(), 0u);
  EXPECT_EQ(seen.input_position, static_cast<int64_t>(8 + block)) << "refused at its first block";

  // LZH: the last match carries the output past the size.
  Bytes good = testing::Packed(Bytes(100000, 0), TCompressMode::Good);
  StoreLE32(good.data() + 4, 1001);
  seen = testing::Observe(testing::Operation::Decompress, TCompressMode::Good, good);
  EXPECT_EQ(seen.outcome,
            "ELzrw1Exception: Lzrw1 (LZH decompression) : Original and compressed sizes do not match !");
  EXPECT_EQ(seen.output.size(), 0u);
}

TEST(FileMode, FailuresInTheTransferDeleteTheOutput) {
  testing::TempDir dir;
  const std::string input = dir.File("in.pak");
  const std::string output = dir.File("out.bin");
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {{}, "Compression Error, reading from input file : " + input},
      {testing::ToBytes("PK\x03\x04 some other archive"),
       input + " : Lzrw1 decompression : this file has no valid header !"},
      {{0x57, 0x52, 0x5A, 0x4C, 4, 0, 0, 0, 5, 0, 0x40, 0x80, 0x00, 0x00, 0x10},
       "Lzrw1 (decompression LZRW1/KH) : corrupt compressed block !"},
  };
  for (const auto& [packed, message] : cases) {
    testing::WriteFileBytes(input, packed);
    testing::WriteFileBytes(output, testing::ToBytes("existed before"));
    testing::FaultyFiles files;
    ScopedFileSystem scope(files);
    Tlzrw1 codec;
    codec.InputFile = input;
    codec.OutputFile = output;
    EXPECT_EQ(FailureOf([&] { codec.Decompress(); }), "ELzrw1Exception: " + message);
    EXPECT_FALSE(std::filesystem::exists(output)) << message;
    EXPECT_EQ(files.OpenCount(), 0u) << message;
  }
}

}  // namespace
}  // namespace stowaway
