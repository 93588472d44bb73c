// The component's LZRW1/KH block loops, driven through Compress in Fast mode
// and Decompress: their progress points, the block lengths the decoder
// reads, and its messages.
#include <gtest/gtest.h>

#include "compression/LZRW1KH.h"
#include "compression/bytes.h"
#include "tests/compression/observe.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::Observed;
using testing::ProgressPoints;

Observed Unpack(const Bytes& stream) {
  return testing::Observe(testing::Operation::Decompress, TCompressMode::Fast, stream);
}

// A packed stream of the given size field and body.
Bytes Stream(int32_t size, const Bytes& body) {
  Bytes stream(8 + body.size());
  StoreLE32(stream.data(), LzrwIdentifier);
  StoreLE32(stream.data() + 4, static_cast<uint32_t>(size));
  std::copy(body.begin(), body.end(), stream.begin() + 8);
  return stream;
}

// A coded block behind its length.
Bytes Block(const Bytes& coded) {
  Bytes framed(2 + coded.size());
  StoreLE16(framed.data(), static_cast<uint16_t>(coded.size()));
  std::copy(coded.begin(), coded.end(), framed.begin() + 2);
  return framed;
}

const std::string CorruptBlock = "ELzrw1Exception: Lzrw1 (decompression LZRW1/KH) : corrupt compressed block !";

TEST(LzrwBlockLoops, ProgressPointAfterEveryBlock) {
  const Observed packing =
      testing::Observe(testing::Operation::Compress, TCompressMode::Fast, testing::RandomBytes(65536, 5));
  const auto total = static_cast<int32_t>(packing.output.size());
  ASSERT_EQ(total, 8 + 2 * 32771 + 3);
  EXPECT_EQ(packing.points,
            (ProgressPoints{{32768, 8 + 32771}, {65536, 8 + 2 * 32771}, {65536, total}, {65536, total}}));
  EXPECT_EQ(Unpack(packing.output).points,
            (ProgressPoints{{8 + 32771, 32768}, {8 + 2 * 32771, 65536}, {total, 65536}, {total, 65536}}));
}

TEST(LzrwBlockLoops, SizeMismatchWritesNoBlockPastTheSize) {
  const Bytes input = testing::TextLike(40000, 3);
  const Bytes packed = testing::Packed(input, TCompressMode::Fast);
  const Bytes body(packed.begin() + 8, packed.end());
  // Every block that fits in the size is written; the one that would pass it is not.
  const std::pair<int32_t, size_t> cases[] = {{40001, 40000}, {39999, 32768}, {32768, 32768},
                                              {32767, 0},     {0, 0},         {-1, 0}};
  for (const auto& [size, written] : cases) {
    const Observed seen = Unpack(Stream(size, body));
    EXPECT_EQ(seen.outcome,
              "ELzrw1Exception: Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !")
        << size;
    EXPECT_EQ(seen.output, Bytes(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(written))) << size;
  }
}

TEST(LzrwBlockLoops, BlockLengthsUpToTheBufferAreRead) {
  // 1822 groups of literals fill 32784 bytes exactly.
  Bytes coded{0x40};
  Bytes expected;
  for (int group = 0; group < 1822; ++group) {
    coded.insert(coded.end(), {0x00, 0x00});
    for (int item = 0; item < 16 && expected.size() < 29139; ++item) {
      expected.push_back(static_cast<uint8_t>(group + item));
      coded.push_back(expected.back());
    }
  }
  ASSERT_EQ(coded.size(), 32784u);
  const Observed seen = Unpack(Stream(29139, Block(coded)));
  EXPECT_EQ(seen.outcome, "ok 29139");
  EXPECT_EQ(seen.output, expected);

  coded.push_back(0);
  const Observed refused = Unpack(Stream(29139, Block(coded)));
  EXPECT_EQ(refused.outcome, CorruptBlock);
  EXPECT_EQ(refused.input_position, 8 + 2) << "refused before the block is read";
}

TEST(LzrwBlockLoops, ACorruptBlockIsRefusedAfterTheBlocksBeforeIt) {
  const Bytes full = testing::Packed(testing::TextLike(32768, 4), TCompressMode::Fast);
  Bytes body(full.begin() + 8, full.end() - 3);
  const Bytes bad = Block({0x40, 0x80, 0x00, 0x12});
  body.insert(body.end(), bad.begin(), bad.end());
  const Observed seen = Unpack(Stream(32768, body));
  EXPECT_EQ(seen.outcome, CorruptBlock);
  EXPECT_EQ(seen.output, testing::TextLike(32768, 4));
}

}  // namespace
}  // namespace stowaway
