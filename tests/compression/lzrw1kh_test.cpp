// TLZR: the coded bytes of one block, and the decoder's refusal of blocks
// that break the format's limits.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "compression/LZRW1KH.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

using testing::Bytes;

Bytes Hex(const std::string& text) {
  std::istringstream in(text);
  Bytes out;
  unsigned value;
  while (in >> std::hex >> value) out.push_back(static_cast<uint8_t>(value));
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Repeat(size_t count, uint8_t value) { return Bytes(count, value); }

Bytes Sequence(uint8_t first, uint8_t last) {
  Bytes out;
  for (int b = first; b <= last; ++b) out.push_back(static_cast<uint8_t>(b));
  return out;
}

// Buffers of exactly the promised sizes, so that a sanitizer build catches
// any access beyond them.
Bytes Code(const Bytes& source) {
  static TLZR codec;
  Bytes dest(source.size() + LzrwCompressSlack);
  dest.resize(codec.CompressBlock(source.data(), dest.data(), static_cast<uint16_t>(source.size())));
  return dest;
}

std::optional<Bytes> Decode(const Bytes& coded) {
  Bytes dest(LzrwBlockSize);
  const int32_t length = TLZR::DecompressBlock(coded.data(), dest.data(), static_cast<uint16_t>(coded.size()));
  if (length == LzrwCorruptBlock) return std::nullopt;
  EXPECT_GE(length, 0);
  EXPECT_LE(length, LzrwBlockSize);
  dest.resize(static_cast<size_t>(length));
  return dest;
}

struct Example {
  const char* what;
  Bytes source;
  Bytes coded;
};

// Source and coded pairs of the format's documentation, then cases worked by
// hand from the coder's rules.
std::vector<Example> Examples() {
  const Bytes abcd = testing::ToBytes("abcd");
  const Bytes twenty = Sequence(0x41, 0x54);
  return {
      {"empty", {}, Hex("80")},
      {"three bytes", testing::ToBytes("abc"), Hex("80 61 62 63")},
      {"abcd four times", Concat({abcd, abcd, abcd, abcd}), Hex("40 08 00 61 62 63 64 00 49")},
      {"15 equal", Repeat(15, 0x61), Hex("40 40 00 61 00 1B")},
      {"20 equal", Repeat(20, 0x61), Hex("40 80 00 00 00 04 61")},
      {"4100 equal", Repeat(4100, 0x61), Hex("40 A0 00 00 0F EF 61 61 00 11")},
      {"second control word", Concat({Sequence(0x00, 0x13), Hex("30 31 32 33 30 31 32 33 30 31 32 33")}),
       Concat({Hex("40 00 00"), Sequence(0x00, 0x0F), Hex("00 80 10 11 12 13 30 31 32 33 00 45")})},
      {"six equal", Repeat(6, 0x61), Hex("40 40 00 61 00 12")},
      {"five equal", Repeat(5, 0x61), Hex("80 61 61 61 61 61")},
      {"16 equal", Repeat(16, 0x61), Hex("40 80 00 00 00 00 61")},
      {"4096 equal", Repeat(4096, 0x61), Hex("40 80 00 00 0F EF 61 61")},
      // At most 18 bytes per match; the last two bytes are too few to hash.
      {"longest match", Concat({twenty, twenty}),
       Concat({Hex("40 00 00"), Sequence(0x41, 0x50), Hex("08 00 51 52 53 54 01 4F 53 54")})},
      {"candidate 4095 back", Concat({testing::ToBytes("abc"), Repeat(4092, 'z'), testing::ToBytes("abc")}),
       Hex("40 18 00 61 62 63 00 0F EC 7A FF F0")},
      // Rejected as too far: a literal, and the bucket takes the new
      // position, which the next "abc" finds.
      {"candidate 4096 back",
       Concat({testing::ToBytes("abc"), Repeat(4093, 'z'), testing::ToBytes("abcabc")}),
       Hex("40 11 00 61 62 63 00 0F ED 7A 61 62 63 00 30")},
      {"coded as long as the source", testing::ToBytes("abcdeabcde"), Hex("40 04 00 61 62 63 64 65 00 52")},
      {"coded one byte longer", testing::ToBytes("abcdabcd"), Hex("80 61 62 63 64 61 62 63 64")},
  };
}

TEST(LzrwBlock, CodesTheExamplesByteForByte) {
  for (const Example& example : Examples()) {
    EXPECT_EQ(Code(example.source), example.coded) << example.what;
    EXPECT_EQ(Decode(example.coded), example.source) << example.what;
  }
}

TEST(LzrwBlock, EachBlockIsCodedOnItsOwn) {
  TLZR codec;
  const Bytes first = testing::TextLike(LzrwBlockSize, 1);
  const Bytes second = testing::TextLike(5000, 2);
  Bytes dest(LzrwBlockSize + LzrwCompressSlack);
  codec.CompressBlock(first.data(), dest.data(), static_cast<uint16_t>(first.size()));
  dest.resize(codec.CompressBlock(second.data(), dest.data(), static_cast<uint16_t>(second.size())));
  EXPECT_EQ(dest, Code(second));
}

TEST(LzrwBlock, AnyFlagButStoredMeansCoded) {
  Bytes coded = Hex("40 08 00 61 62 63 64 00 49");
  for (int flag : {0x00, 0x41, 0x7F, 0x81, 0xFF}) {
    coded[0] = static_cast<uint8_t>(flag);
    EXPECT_EQ(Decode(coded), testing::ToBytes("abcdabcdabcdabcd")) << flag;
  }
}

TEST(LzrwBlock, ControlBitsAfterTheLastItemAreIgnored) {
  EXPECT_EQ(Decode(Hex("40 7F FF 61")), testing::ToBytes("a"));
  EXPECT_EQ(Decode(Hex("40 00 00")), Bytes{});
  EXPECT_EQ(Decode(Hex("40")), Bytes{});
  EXPECT_EQ(Decode(Hex("80")), Bytes{});
  EXPECT_EQ(Decode(Bytes{}), Bytes{});
}

TEST(LzrwBlock, RoundTripsEverySizeAndKindOfData) {
  const std::vector<std::pair<const char*, Bytes (*)(size_t, uint32_t)>> kinds = {
      {"text", testing::TextLike},
      {"random", testing::RandomBytes},
      {"repetitive", testing::Repetitive},
      {"binary", testing::BinaryLike}};
  for (const auto& [name, make] : kinds) {
    for (size_t size : {0, 1, 2, 3, 17, 100, 4095, 4096, 4097, 32767, 32768}) {
      const Bytes source = make(size, static_cast<uint32_t>(size));
      const Bytes coded = Code(source);
      EXPECT_LE(coded.size(), size + 1) << name << " " << size;
      EXPECT_EQ(Decode(coded), source) << name << " " << size;
    }
  }
}

// Builds a coded block item by item.
class BlockBuilder {
 public:
  BlockBuilder() : bytes_{0x40} {}

  BlockBuilder& Literal(uint8_t value) { return Item(false, {value}); }
  BlockBuilder& Match(int offset, int length) {
    const int value = offset << 4 | (length - 3);
    return Item(true, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
  }
  BlockBuilder& Run(int length, uint8_t value) {
    const int stored = length - 16;
    return Item(true, {0x00, static_cast<uint8_t>(stored >> 8), static_cast<uint8_t>(stored), value});
  }
  // Runs of 4095 bytes and then literals up to a decoded length of size.
  BlockBuilder& Fill(int32_t size) {
    for (; size >= 4095; size -= 4095) Run(4095, 0x5A);
    for (; size > 0; --size) Literal(0x5A);
    return *this;
  }
  Bytes Block() const { return bytes_; }

 private:
  BlockBuilder& Item(bool copy, std::initializer_list<uint8_t> item) {
    if (items_ % 16 == 0) {
      control_at_ = bytes_.size();
      bytes_.insert(bytes_.end(), {0x00, 0x00});
    }
    if (copy) bytes_[control_at_ + (items_ % 16) / 8] |= static_cast<uint8_t>(0x80 >> (items_ % 8));
    bytes_.insert(bytes_.end(), item);
    ++items_;
    return *this;
  }

  Bytes bytes_;
  size_t control_at_ = 0;
  int items_ = 0;
};

// Every match offset and length, overlapping or not, at the start of the
// output and ending on its last byte, against a copy one byte at a time.
TEST(LzrwBlock, CopiesEqualTheByteByByteCopy) {
  for (int offset = 1; offset <= 20; ++offset) {
    for (int length = 3; length <= 18; ++length) {
      for (int32_t prefix : {0, LzrwBlockSize - offset - length}) {
        BlockBuilder block;
        block.Fill(prefix);
        Bytes expected(static_cast<size_t>(prefix), 0x5A);
        for (int k = 0; k < offset; ++k) {
          block.Literal(static_cast<uint8_t>('A' + k));
          expected.push_back(static_cast<uint8_t>('A' + k));
        }
        block.Match(offset, length);
        for (int k = 0; k < length; ++k) expected.push_back(expected[expected.size() - static_cast<size_t>(offset)]);
        EXPECT_EQ(Decode(block.Block()), expected) << "offset " << offset << " length " << length << " after " << prefix;
      }
    }
  }
}

TEST(LzrwBlockLimits, OutputUpToTheBlockSizeIsAccepted) {
  const auto decoded = [](const BlockBuilder& block) {
    const auto out = Decode(block.Block());
    return out ? static_cast<int32_t>(out->size()) : -1;
  };
  EXPECT_EQ(decoded(BlockBuilder().Fill(32768)), 32768);
  EXPECT_EQ(decoded(BlockBuilder().Fill(32768 - 4095).Run(4095, 1)), 32768);
  EXPECT_EQ(decoded(BlockBuilder().Fill(32768 - 18).Match(5, 18)), 32768);
  EXPECT_EQ(decoded(BlockBuilder().Literal(1).Match(1, 3)), 4);
  EXPECT_EQ(decoded(BlockBuilder().Fill(4095).Match(4095, 3)), 4098);
  EXPECT_EQ(Decode(Concat({Hex("80"), Repeat(32768, 7)})), Repeat(32768, 7));
}

TEST(LzrwBlockLimits, BlocksBreakingTheLimitsAreRefused) {
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"literal past the block", BlockBuilder().Fill(32768).Literal(1).Block()},
      {"run past the block", BlockBuilder().Fill(32768 - 15).Run(16, 1).Block()},
      {"longest run past the block", BlockBuilder().Fill(32768 - 4110).Run(4111, 1).Block()},
      {"match past the block", BlockBuilder().Fill(32768 - 17).Match(5, 18).Block()},
      {"match before the block", BlockBuilder().Match(1, 3).Block()},
      {"match one byte before the block", BlockBuilder().Literal(1).Literal(2).Match(3, 3).Block()},
      {"far match before the block", BlockBuilder().Fill(4094).Match(4095, 3).Block()},
      {"stored block too long", Concat({Hex("80"), Repeat(32769, 7)})},
      {"control word cut off", Hex("40 80")},
      {"match cut off", Hex("40 80 00 00")},
      {"run cut off after two bytes", Hex("40 80 00 00 00")},
      {"run cut off after three bytes", Hex("40 80 00 00 00 00")},
      {"second control word cut off", Concat({Hex("40 00 00"), Repeat(16, 1), Hex("00")})},
      {"second control word without items", Concat({Hex("40 00 00"), Repeat(16, 1), Hex("00 00")})},
  };
  for (const auto& [what, block] : cases) EXPECT_EQ(Decode(block), std::nullopt) << what;
}

// Whatever the bytes, decoding stays within its buffers: cut-off and
// scrambled forms of real blocks.
TEST(LzrwBlockLimits, HostileBlocksStayInsideTheBuffers) {
  const Bytes coded = Code(testing::Repetitive(LzrwBlockSize, 3));
  ASSERT_EQ(coded[0], 0x40);
  for (size_t cut = 0; cut <= coded.size(); cut += 1 + cut / 64) {
    Decode(Bytes(coded.begin(), coded.begin() + static_cast<ptrdiff_t>(cut)));
  }
  for (uint32_t seed = 0; seed < 300; ++seed) {
    Bytes scrambled = testing::RandomBytes(64 + seed * 100, seed);
    scrambled[0] = 0x40;
    Decode(scrambled);
    Bytes flipped = coded;
    for (size_t k = seed % 7; k < flipped.size(); k += 97 + seed) flipped[k] ^= static_cast<uint8_t>(seed | 1);
    Decode(flipped);
  }
}

}  // namespace
}  // namespace stowaway
