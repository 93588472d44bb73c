// Recorded results of the LZRW1/KH codec on a fixed, seeded data set: the
// packed bytes of Compress in Fast mode, the unpacked bytes, every progress
// point, the failure messages and where the input stream is left, and the
// blocks CompressBlock codes and DecompressBlock accepts. Archives in the
// field hold these bodies and Advise's choice rests on these block lengths,
// so a faster codec must give all of them unchanged. Recorded from the codec
// before any of its speed work.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "compression/LZRW1KH.h"
#include "tests/compression/observe.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::Hash;
using testing::Kind;
using testing::Observed;
using testing::Operation;

Observed Observe(Operation operation, TStream& in, int encoder_threads = 1) {
  return testing::Observe(operation, TCompressMode::Fast, in, encoder_threads);
}

Observed Observe(Operation operation, const Bytes& input, int encoder_threads = 1) {
  return testing::Observe(operation, TCompressMode::Fast, input, 0, encoder_threads);
}

// One coder, and blocks coded side by side on two and three threads.
constexpr int EncoderThreadCounts[] = {1, 2, 3};

// A short read ends the packed body early, and the block reads of the
// decoder come in pieces.
int32_t LargePieces(int32_t draw, int32_t count) { return draw % 3 == 0 ? count : draw % 40000 + 1; }

// Text, program-like records, noise, long runs, pieces of every kind back to
// back so that blocks mix them, and a multiple of the block size, which ends
// with an empty block.
const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"text", testing::TextLike(1 << 20, 51)},
      {"binary", testing::BinaryLike(1 << 20, 52)},
      {"random", testing::RandomBytes(300000, 53)},
      {"repetitive", testing::Repetitive(1 << 20, 54)},
      {"mixed", testing::Mixed(78, 30, 1, 70000)},
      {"two blocks", testing::TextLike(2 * BlockSize, 55)},
  };
  return kinds;
}

const Bytes& PackedKind(size_t k) {
  static std::vector<Bytes> packed(Kinds().size());
  if (packed[k].empty()) packed[k] = testing::Packed(Kinds()[k].input, TCompressMode::Fast);
  return packed[k];
}

TEST(LzrwGolden, Compress) {
  const char* const expected[] = {
      "ok 395489 | out 395489:18b087c28adcf3ec | points 34:68f5e7e627cc34e6 | in at 1048576",
      "ok 722977 | out 722977:87fcc3be587a9a1b | points 34:c7997e33a97e7bb0 | in at 1048576",
      "ok 300038 | out 300038:7ad11dce5b8778c3 | points 11:f5b2a11927dbfac2 | in at 300000",
      "ok 36428 | out 36428:db8f68725e2b638e | points 34:981aec489c4be9d4 | in at 1048576",
      "ok 553164 | out 553164:2d5d5495292b0e07 | points 33:5b4e0f074ccf8cfd | in at 1032969",
      "ok 24670 | out 24670:6e05da51628c0b6b | points 4:14e246cd60c122e7 | in at 65536",
  };
  for (int threads : EncoderThreadCounts) {
    for (size_t k = 0; k < Kinds().size(); ++k) {
      EXPECT_EQ(Observe(Operation::Compress, Kinds()[k].input, threads).Line(), expected[k])
          << Kinds()[k].name << " on " << threads << " threads";
    }
  }
}

TEST(LzrwGolden, CompressFromAStreamThatReadsInPieces) {
  const char* const expected[] = {
      "ok 2952 | out 2952:9aa183bd58ca7e72 | points 2:4ad1f31d1a410419 | in at 7563",
      "ok 29513 | out 29513:e8dd6ba332383959 | points 3:f684a8f006ffddaf | in at 42753",
      "ok 152902 | out 152902:a1f7163608befdc4 | points 6:eea6271de6204d4d | in at 152879",
      "ok 2340 | out 2340:0850f06dd99fc995 | points 4:1c5d8587530e9253 | in at 66285",
      "ok 16501 | out 16501:5511f942596e81e2 | points 2:5ede49c8a2153fe5 | in at 24069",
      "ok 1829 | out 1829:db8f58ecf4d54ef0 | points 2:92eb0ad7e7643de1 | in at 4428",
  };
  for (int threads : EncoderThreadCounts) {
    for (size_t k = 0; k < Kinds().size(); ++k) {
      testing::ChoppyStream in(Kinds()[k].input, static_cast<uint32_t>(k), LargePieces);
      EXPECT_EQ(Observe(Operation::Compress, in, threads).Line(), expected[k])
          << Kinds()[k].name << " on " << threads << " threads";
    }
  }
}

TEST(LzrwGolden, Decompress) {
  const char* const expected[] = {
      "ok 1048576 | out 1048576:6c6ac0bc9b7b2c16 | points 34:b0c5dbec65239b32 | in at 395489",
      "ok 1048576 | out 1048576:c82985dca77d6498 | points 34:c4982e53136e2df4 | in at 722977",
      "ok 300000 | out 300000:258b46a5be628358 | points 11:191cf67e0c30c6aa | in at 300038",
      "ok 1048576 | out 1048576:0ecda7245e961685 | points 34:8a873565ac5574c0 | in at 36428",
      "ok 1032969 | out 1032969:5b39ce5303d3333a | points 33:7293fd2fc0a533b9 | in at 553164",
      "ok 65536 | out 65536:9a9fef77f9b5a590 | points 4:dd7cc78375d60d47 | in at 24670",
  };
  for (size_t k = 0; k < Kinds().size(); ++k) {
    Bytes stream = PackedKind(k);
    // Bytes behind the body are never read.
    stream.push_back(0x5A);
    const Observed seen = Observe(Operation::Decompress, stream);
    EXPECT_EQ(seen.output, Kinds()[k].input) << Kinds()[k].name;
    EXPECT_EQ(seen.Line(), expected[k]) << Kinds()[k].name;
  }
}

TEST(LzrwGolden, DecompressFromAStreamThatReadsInPieces) {
  const char* const expected[] = {
      "ELzrw1Exception: Compression Error, reading from input stream ! | out 131072:06271adb9bc91fce | points 4:48ddc8868a15aaaa | in at 51843",
      "ELzrw1Exception: Compression Error, reading from input stream ! | out 65536:d618723fd7fe6df4 | points 2:fdc42950863f3225 | in at 59355",
      "ELzrw1Exception: Compression Error, reading from input stream ! | out 0:cbf29ce484222325 | points 0:cbf29ce484222325 | in at 27444",
      "ELzrw1Exception: Compression Error, reading from input stream ! | out 917504:c6b7644685c93216 | points 28:e535bd67c4e21649 | in at 33665",
      "ELzrw1Exception: Compression Error, reading from input stream ! | out 32768:5e6a7164d0a63e1b | points 1:f477a7028c94a8f8 | in at 28601",
      "ELzrw1Exception: Compression Error, reading from input stream ! | out 0:cbf29ce484222325 | points 0:cbf29ce484222325 | in at 4933",
  };
  for (size_t k = 0; k < Kinds().size(); ++k) {
    testing::ChoppyStream in(PackedKind(k), static_cast<uint32_t>(k + 100), LargePieces);
    EXPECT_EQ(Observe(Operation::Decompress, in).Line(), expected[k]) << Kinds()[k].name;
  }
}

TEST(LzrwGolden, CutAndAlteredBodies) {
  // Cut inside the header, inside the first block and at the last byte;
  // then one byte of the body altered at a seeded place, several times.
  Bytes lines;
  std::mt19937 rng(3);
  for (size_t k = 0; k < Kinds().size(); ++k) {
    const Bytes& packed = PackedKind(k);
    for (const size_t cut : {size_t{6}, size_t{11}, size_t{5000}, packed.size() - 1}) {
      const std::string line =
          Observe(Operation::Decompress, Bytes(packed.begin(), packed.begin() + cut)).Line() + "\n";
      lines.insert(lines.end(), line.begin(), line.end());
    }
    for (int change = 0; change < 40; ++change) {
      Bytes altered = packed;
      const size_t at = 8 + rng() % (altered.size() - 8);
      altered[at] ^= static_cast<uint8_t>(1 + rng() % 255);
      const std::string line = Observe(Operation::Decompress, altered).Line() + "\n";
      lines.insert(lines.end(), line.begin(), line.end());
    }
  }
  // One altered size field: its last block would pass the size and is not written.
  EXPECT_EQ(Hash(lines), "29385:8ce46b7b6518931e");
}

TEST(LzrwGolden, CompressBlock) {
  // Every size up to 300 and the sizes around the group and block limits, at
  // several places in each kind of data.
  TLZR codec;
  Bytes all;
  Bytes dest(LzrwBlockSize + LzrwCompressSlack);
  std::vector<size_t> sizes;
  for (size_t size = 0; size <= 300; ++size) sizes.push_back(size);
  for (const size_t size : {4095u, 4096u, 4097u, 16383u, 32766u, 32767u, 32768u}) sizes.push_back(size);
  for (const Kind& kind : Kinds()) {
    const size_t n = kind.input.size();
    for (const size_t start : {size_t{0}, n / 3, n - LzrwBlockSize}) {
      for (const size_t size : sizes) {
        const uint16_t length = codec.CompressBlock(kind.input.data() + start, dest.data(),
                                                    static_cast<uint16_t>(size));
        all.insert(all.end(), dest.begin(), dest.begin() + length);
      }
    }
  }
  EXPECT_EQ(Hash(all), "1722018:43b516ee1ad4f068");
}

TEST(LzrwGolden, DecompressBlockOnNoise) {
  // Random coded blocks, and coded blocks with one byte altered: what is
  // refused, and what the rest decode to.
  TLZR codec;
  Bytes all;
  Bytes dest(LzrwBlockSize);
  Bytes coded(LzrwBlockSize + LzrwCompressSlack);
  std::mt19937 rng(11);
  const auto record = [&](const Bytes& block) {
    const int32_t length =
        TLZR::DecompressBlock(block.data(), dest.data(), static_cast<uint16_t>(block.size()));
    const std::string result = std::to_string(length) + ";";
    all.insert(all.end(), result.begin(), result.end());
    if (length > 0) all.insert(all.end(), dest.begin(), dest.begin() + length);
  };
  for (int trial = 0; trial < 3000; ++trial) {
    const size_t size = 1 + rng() % 300;
    Bytes block = testing::RandomBytes(size, static_cast<uint32_t>(rng()));
    block[0] = 0x40;
    if (trial % 3 == 0 && block.size() >= 3) {
      // A first group of literals, so that copies have bytes to reach back to.
      block[1] = 0;
      block[2] = 0;
    }
    record(block);
  }
  for (const Kind& kind : Kinds()) {
    for (int trial = 0; trial < 60; ++trial) {
      const size_t size = 1 + rng() % LzrwBlockSize;
      const size_t start = rng() % (kind.input.size() - size);
      const uint16_t length = codec.CompressBlock(kind.input.data() + start, coded.data(),
                                                  static_cast<uint16_t>(size));
      Bytes block(coded.begin(), coded.begin() + length);
      if (block.size() > 1) {
        const size_t at = 1 + rng() % (block.size() - 1);
        block[at] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
      record(block);
    }
  }
  EXPECT_EQ(Hash(all), "5491640:fccabab59d674c4f");
}

}  // namespace
}  // namespace stowaway
