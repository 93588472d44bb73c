// TLZR: the coded bytes of one block, and the decoder's refusal of blocks
// that break the format's limits. The codec takes shortcuts where a block
// allows them (whole groups with one bounds check, hash indexes worked out
// ahead, the candidates' first bytes kept beside the table, a group decoded
// at a time with wide copies) and goes item by item near a block's ends; the
// cases against the plain transcription of the rules at the end sit on the
// borders between the two, where a shortcut that reaches too far would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
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
    produced_ += static_cast<size_t>(length);
    return Item(true, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
  }
  BlockBuilder& Run(int length, uint8_t value) {
    const int stored = length - 16;
    produced_ += static_cast<size_t>(length);
    return Item(true, {0x00, static_cast<uint8_t>(stored >> 8), static_cast<uint8_t>(stored), value});
  }
  // Runs of 4095 bytes and then literals up to a decoded length of size.
  BlockBuilder& Fill(int32_t size) {
    for (; size >= 4095; size -= 4095) Run(4095, 0x5A);
    for (; size > 0; --size) Literal(0x5A);
    return *this;
  }
  Bytes Block() const { return bytes_; }
  // The number of bytes the block decodes to, and of items, so far.
  size_t Produced() const { return produced_; }
  int Count() const { return items_; }

 private:
  BlockBuilder& Item(bool copy, std::initializer_list<uint8_t> item) {
    if (items_ % 16 == 0) {
      control_at_ = bytes_.size();
      bytes_.insert(bytes_.end(), {0x00, 0x00});
    }
    if (copy) bytes_[control_at_ + (items_ % 16) / 8] |= static_cast<uint8_t>(0x80 >> (items_ % 8));
    bytes_.insert(bytes_.end(), item);
    if (!copy) ++produced_;
    ++items_;
    return *this;
  }

  Bytes bytes_;
  size_t control_at_ = 0;
  size_t produced_ = 0;
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

// The coder's rules, step by step.
Bytes ReferenceCode(const Bytes& source) {
  const size_t n = source.size();
  std::vector<uint16_t> table(4096, 0xFFFF);
  Bytes dest(n + LzrwCompressSlack);
  dest[0] = 0x40;
  size_t out = 3;
  size_t control_at = 1;
  int items = 0;
  uint32_t control = 0;
  size_t at = 0;
  while (at < n && out <= n) {
    if (items == 16) {
      dest[control_at] = static_cast<uint8_t>(control >> 8);
      dest[control_at + 1] = static_cast<uint8_t>(control);
      control_at = out;
      out += 2;
      items = 0;
      control = 0;
    }
    ++items;
    control = (control << 1) & 0xFFFF;
    size_t run = 0;
    while (run < 4095 && at + run < n && source[at + run] == source[at]) ++run;
    if (run >= 16) {
      dest[out] = 0;
      dest[out + 1] = static_cast<uint8_t>((run - 16) >> 8);
      dest[out + 2] = static_cast<uint8_t>(run - 16);
      dest[out + 3] = source[at];
      out += 4;
      at += run;
      control |= 1;
      continue;
    }
    if (n - at >= 3) {
      const uint32_t key = ((uint32_t{source[at]} * 16) ^ source[at + 1]) * 16 ^ source[at + 2];
      const uint32_t index = (key * 40543 >> 4) & 0x0FFF;
      const size_t candidate = table[index];
      table[index] = static_cast<uint16_t>(at);
      if (candidate != 0xFFFF && at - candidate < 4096) {
        size_t length = 0;
        while (length < 18 && at + length < n && source[at + length] == source[candidate + length]) ++length;
        if (length >= 3) {
          const size_t value = (at - candidate) * 16 + (length - 3);
          dest[out] = static_cast<uint8_t>(value >> 8);
          dest[out + 1] = static_cast<uint8_t>(value);
          out += 2;
          at += length;
          control |= 1;
          continue;
        }
      }
    }
    dest[out++] = source[at++];
  }
  control = (control << (16 - items)) & 0xFFFF;
  dest[control_at] = static_cast<uint8_t>(control >> 8);
  dest[control_at + 1] = static_cast<uint8_t>(control);
  if (out > n) {
    dest[0] = 0x80;
    std::copy(source.begin(), source.end(), dest.begin() + 1);
    out = n + 1;
  }
  dest.resize(out);
  return dest;
}

// The decoder's rules, with the refusals of a block that reads past its end,
// writes past LzrwBlockSize bytes or copies from before its start.
std::optional<Bytes> ReferenceDecode(const Bytes& coded) {
  const size_t n = coded.size();
  if (n <= 1) return Bytes{};
  if (coded[0] == 0x80) {
    if (n - 1 > LzrwBlockSize) return std::nullopt;
    return Bytes(coded.begin() + 1, coded.end());
  }
  if (n < 3) return std::nullopt;
  Bytes out;
  size_t in = 3;
  uint32_t control = uint32_t{coded[1]} << 8 | coded[2];
  int left = 16;
  while (in < n) {
    if (left == 0) {
      if (n - in < 3) return std::nullopt;
      control = uint32_t{coded[in]} << 8 | coded[in + 1];
      in += 2;
      left = 16;
    }
    if ((control & 0x8000) == 0) {
      if (out.size() >= LzrwBlockSize) return std::nullopt;
      out.push_back(coded[in++]);
    } else {
      if (n - in < 2) return std::nullopt;
      const size_t offset = size_t{coded[in]} << 4 | coded[in + 1] >> 4;
      if (offset == 0) {
        if (n - in < 4) return std::nullopt;
        const size_t length = (size_t{coded[in + 1]} << 8 | coded[in + 2]) + 16;
        if (out.size() + length > LzrwBlockSize) return std::nullopt;
        out.insert(out.end(), length, coded[in + 3]);
        in += 4;
      } else {
        const size_t length = (coded[in + 1] & 0x0F) + 3;
        if (offset > out.size() || out.size() + length > LzrwBlockSize) return std::nullopt;
        for (size_t k = 0; k < length; ++k) out.push_back(out[out.size() - offset]);
        in += 2;
      }
    }
    control <<= 1;
    --left;
  }
  return out;
}

// Text with a run of run_length bytes whose end lies end_at bytes before the
// end of a block of size bytes.
Bytes TextWithRun(size_t size, size_t run_length, size_t end_at, uint32_t seed) {
  Bytes block = testing::TextLike(size, seed);
  const size_t end = size - end_at;
  std::fill(block.begin() + static_cast<ptrdiff_t>(end - run_length), block.begin() + static_cast<ptrdiff_t>(end),
            uint8_t{'='});
  return block;
}

// Random bytes in which a 20-byte phrase comes back at the given distances,
// cut to the given lengths.
Bytes Echoes(size_t size, size_t distance, size_t length, uint32_t seed) {
  Bytes block = testing::RandomBytes(size, seed);
  for (size_t at = 64; at + distance + 20 < size; at += distance + 40) {
    std::copy_n(block.begin() + static_cast<ptrdiff_t>(at), length, block.begin() + static_cast<ptrdiff_t>(at + distance));
  }
  return block;
}

TEST(LzrwBlockRules, CoderFollowsTheRulesWhereWholeGroupsEnd) {
  // Blocks just too short for a whole group, and just long enough.
  for (size_t size = 270; size <= 340; ++size) {
    for (const Bytes& block : {testing::TextLike(size, 1), testing::BinaryLike(size, 2), testing::Repetitive(size, 3)}) {
      ASSERT_EQ(Code(block), ReferenceCode(block)) << size;
    }
  }
  // A run ending at every place around the last whole group of a block, and
  // at its very end.
  for (size_t end_at = 0; end_at < 340; end_at += 3) {
    const Bytes block = TextWithRun(LzrwBlockSize, 300, end_at, 4);
    ASSERT_EQ(Code(block), ReferenceCode(block)) << end_at;
  }
  // Output that passes the source's size inside, or just after, the whole
  // groups: compressible text, then noise.
  for (size_t noise = 200; noise < 2000; noise += 37) {
    const Bytes block = Concat({testing::TextLike(4000, 5), testing::RandomBytes(noise, 6)});
    ASSERT_EQ(Code(block), ReferenceCode(block)) << noise;
  }
}

TEST(LzrwBlockRules, CoderFollowsTheRulesAcrossLongRunsAndFarCandidates) {
  // Runs longer than a stretch of worked-out hash indexes, longer than a run
  // item, and back to back with text.
  for (size_t run : {17u, 700u, 737u, 1000u, 1024u, 2000u, 4095u, 4096u, 5000u, 9000u}) {
    for (size_t end_at : {300u, 5000u, 20000u}) {
      const Bytes block = TextWithRun(LzrwBlockSize, run, end_at, static_cast<uint32_t>(run));
      ASSERT_EQ(Code(block), ReferenceCode(block)) << run << " " << end_at;
    }
  }
  // Repeats of every length up to past the longest match, at distances
  // around the farthest a match reaches.
  for (size_t distance : {1u, 2u, 7u, 8u, 9u, 300u, 4094u, 4095u, 4096u, 4097u}) {
    for (size_t length = 1; length <= 20; ++length) {
      const Bytes block = Echoes(12000, distance, length, static_cast<uint32_t>(distance * 32 + length));
      ASSERT_EQ(Code(block), ReferenceCode(block)) << distance << " " << length;
    }
  }
  for (uint32_t seed = 0; seed < 6; ++seed) {
    const Bytes block = testing::BinaryLike(LzrwBlockSize, 100 + seed);
    ASSERT_EQ(Code(block), ReferenceCode(block)) << seed;
  }
  // A phrase said again and again: groups of the longest matches, which go
  // farthest past where they start.
  for (size_t phrase = 40; phrase < 400; phrase += 23) {
    Bytes block = testing::RandomBytes(phrase, static_cast<uint32_t>(phrase));
    while (block.size() < LzrwBlockSize) block.insert(block.end(), block.begin(), block.begin() + static_cast<ptrdiff_t>(phrase));
    block.resize(LzrwBlockSize);
    for (size_t at = phrase; at < block.size(); at += 997) block[at] ^= 0x55;
    ASSERT_EQ(Code(block), ReferenceCode(block)) << phrase;
  }
}

// Random items up to about size bytes of output: literals, runs, and matches
// of every offset the output so far allows, short offsets most of all.
BlockBuilder RandomItems(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  BlockBuilder items;
  while (items.Produced() < size) {
    const uint32_t pick = random() % 16;
    const size_t reach = std::min<size_t>(items.Produced(), 4095);
    if (pick < 6 || reach == 0) {
      items.Literal(static_cast<uint8_t>(random()));
    } else if (pick == 15) {
      items.Run(static_cast<int>(16 + random() % (random() % 4 == 0 ? 4080 : 40)), static_cast<uint8_t>(random()));
    } else {
      const size_t offset = 1 + random() % (pick < 10 ? std::min<size_t>(reach, 9) : reach);
      items.Match(static_cast<int>(offset), static_cast<int>(3 + random() % 16));
    }
  }
  return items;
}

TEST(LzrwBlockRules, DecoderFollowsTheRulesOnEveryKindOfItem) {
  for (uint32_t seed = 0; seed < 200; ++seed) {
    const size_t size = seed % 4 == 0 ? LzrwBlockSize - seed % 50 : 100 + seed * 150;
    const Bytes coded = RandomItems(size, seed).Block();
    ASSERT_EQ(Decode(coded), ReferenceDecode(coded)) << seed;
  }
}

TEST(LzrwBlockRules, DecoderRefusesWhatTheRulesRefuse) {
  // Cut at every length: the shortcuts end where the block's last groups
  // begin, wherever that is.
  const Bytes coded = RandomItems(3000, 7).Block();
  for (size_t cut = 0; cut <= coded.size(); ++cut) {
    const Bytes block(coded.begin(), coded.begin() + static_cast<ptrdiff_t>(cut));
    ASSERT_EQ(Decode(block), ReferenceDecode(block)) << cut;
  }
  // Offsets reaching before the block and runs past its end, inside groups
  // that lie well within both buffers as well as near their ends.
  for (uint32_t seed = 0; seed < 300; ++seed) {
    Bytes block = RandomItems(seed % 2 ? LzrwBlockSize - 40 : 2000, seed).Block();
    std::mt19937 random(seed);
    for (int change = 0; change < 3; ++change) {
      const size_t at = 3 + random() % (block.size() - 3);
      block[at] = static_cast<uint8_t>(random() % 3 == 0 ? 0x00 : 0xFF);
    }
    ASSERT_EQ(Decode(block), ReferenceDecode(block)) << seed;
  }
}

// Groups of the largest items read and write the most in one go: as the last
// group of a block, and as the group that fills the output.
TEST(LzrwBlockRules, DecoderStaysInsideOnGroupsOfLargestItems) {
  for (size_t lead = 0; lead < 40; ++lead) {
    BlockBuilder runs;
    BlockBuilder matches;
    for (size_t k = 0; k < lead; ++k) {
      runs.Literal(static_cast<uint8_t>(k));
      matches.Literal(static_cast<uint8_t>(k));
    }
    while (runs.Count() % 16 != 0) runs.Literal(1);
    while (matches.Count() % 16 != 0) matches.Literal(1);
    for (int k = 0; k < 16; ++k) runs.Run(16 + k, static_cast<uint8_t>(k));
    for (int k = 0; k < 16; ++k) matches.Match(1, 18);
    ASSERT_EQ(Decode(runs.Block()), ReferenceDecode(runs.Block())) << lead;
    ASSERT_EQ(Decode(matches.Block()), ReferenceDecode(matches.Block())) << lead;
  }
  // The output filled to within a few bytes of the block's end, then a
  // group of runs or of long matches that fits or does not.
  for (size_t room = 240; room < 300; ++room) {
    for (bool with_runs : {true, false}) {
      BlockBuilder items;
      while (items.Produced() + 4095 + 16 <= LzrwBlockSize - room) items.Run(4095, 7);
      while (items.Produced() < LzrwBlockSize - room) items.Literal(9);
      for (int k = 0; k < 16; ++k) {
        if (with_runs) {
          items.Run(16, static_cast<uint8_t>(k));
        } else {
          items.Match(5, 18);
        }
      }
      ASSERT_EQ(Decode(items.Block()), ReferenceDecode(items.Block())) << room << " " << with_runs;
    }
  }
}

}  // namespace
}  // namespace stowaway
