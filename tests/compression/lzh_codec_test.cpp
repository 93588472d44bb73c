// The LZH codec through the component in stream mode: known bodies both
// ways; the encoder's choice among equal matches, the end of its input, deep
// Huffman codes and bodies that must not change; the decoder's window bytes
// never written, far and overlapping matches, and when blocks are read and
// written, with the progress points that follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "compression/lzh.h"
#include "tests/compression/lzh_body_writer.h"
#include "tests/compression/observe.h"

namespace stowaway {

using testing::Bytes;
using testing::LzhBodyWriter;
using testing::LzhStream;

// Drives the encoder's symbol and offset steps directly, into a vector.
class LzhEncoderProbe {
 public:
  LzhEncoderProbe() {
    codec_.AllocTables();
    codec_.InitModel();
  }
  ~LzhEncoderProbe() { codec_.FreeTables(); }
  LzhEncoderProbe(const LzhEncoderProbe&) = delete;
  LzhEncoderProbe& operator=(const LzhEncoderProbe&) = delete;

  void Symbol(int symbol) { codec_.EncodeSymbol(sink_, symbol); }
  void Offset(int offset) { codec_.EncodeOffset(sink_, offset); }
  std::string Code(int symbol) const { return codec_.SymbolCode(symbol); }
  Bytes Body() {
    codec_.FlushBits(sink_);
    sink_.Flush();
    return sink_.out;
  }

 private:
  // One byte of buffer: every Put goes through Flush.
  struct Sink final : LzhSink {
    Sink() { Next = End = &byte; }
    void Flush() override {
      if (Next != &byte) out.push_back(byte);
      Next = &byte;
      End = Next + 1;
    }
    uint8_t byte = 0;
    Bytes out;
  };

  TLZH codec_;
  Sink sink_;
};

namespace {

Bytes Encode(const Bytes& input) {
  const Bytes packed = testing::Packed(input, TCompressMode::Good);
  return Bytes(packed.begin() + 8, packed.end());
}

testing::Observed Decode(const Bytes& packed) {
  return testing::Observe(testing::Operation::Decompress, TCompressMode::Good, packed);
}

Bytes Decode(size_t size, const Bytes& body) { return Decode(LzhStream(static_cast<int32_t>(size), body)).output; }

Bytes Spaces(size_t n) { return Bytes(n, ' '); }

TEST(LzhCodec, KnownBodies) {
  EXPECT_EQ(testing::Packed(testing::ToBytes("abc"), TCompressMode::Good),
            (Bytes{0x21, 0x48, 0x5A, 0x4C, 3, 0, 0, 0, 0xF6, 0xFB, 0xBD, 0xE0}));
  const std::pair<Bytes, Bytes> known[] = {
      {testing::ToBytes("abc"), {0xF6, 0xFB, 0xBD, 0xE0}},
      {Spaces(60), {0xC5, 0x1D, 0x80}},
      {testing::ToBytes("a" + std::string(59, ' ')), {0xF6, 0xE2, 0x0E, 0xC0}},
      // The byte at 4036 has never been set: the fresh window's zero.
      {{}, {0xC6, 0x00}},
  };
  for (const auto& [input, body] : known) {
    EXPECT_EQ(Encode(input), body) << input.size() << " bytes";
    EXPECT_EQ(Decode(input.size(), body), input) << input.size() << " bytes";
  }
}

TEST(LzhCodec, SpacesMatchTheInitialFill) {
  const auto expect = [](size_t n, const LzhBodyWriter& body) {
    EXPECT_EQ(Encode(Spaces(n)), body.Body()) << n << " spaces";
    EXPECT_EQ(Decode(n, body.Body()), Spaces(n)) << n << " spaces";
  };
  expect(1, LzhBodyWriter().Literal(' '));
  expect(2, LzhBodyWriter().Literals("  "));
  for (int n = 3; n <= 58; ++n) expect(static_cast<size_t>(n), LzhBodyWriter().Match(n, 0));
  // From 59 spaces on, every key before the input is 60 spaces: the only one
  // left in the tree is 3976, inserted last.
  expect(59, LzhBodyWriter().Match(59, 59));
  EXPECT_EQ(Decode(60, LzhBodyWriter().Match(60, 0).Body()), Spaces(60)) << "offset 0 at the start";
}

TEST(LzhEncode, MatchRunningPastTheEndIsShortened) {
  // After the first zero the key of every position is 60 zeros (input, then
  // never-written window and mirror), a full match of the byte before it;
  // only the input's end limits the length.
  EXPECT_EQ(Encode(Bytes(3, 0)), LzhBodyWriter().Literal(0).Literal(0).Literal(0).Body());
  for (int n = 4; n <= 61; ++n) {
    EXPECT_EQ(Encode(Bytes(n, 0)), LzhBodyWriter().Literal(0).Match(n - 1, 0).Body()) << n;
  }
  EXPECT_EQ(Encode(Bytes(62, 0)), LzhBodyWriter().Literal(0).Match(60, 0).Literal(0).Body());
}

TEST(LzhEncode, EqualMatchesPickTheNearest) {
  // "abcd2" meets "abcd1" (offset 9), then "abcd3" (offset 4), both 4 long.
  EXPECT_EQ(Encode(testing::ToBytes("abcd1abcd3abcd2")),
            LzhBodyWriter().Literals("abcd1").Match(4, 4).Literal('3').Match(4, 4).Literal('2').Body());
}

// Three 60-byte blocks "abc1" + f, "abc2" + f, "abc1" + f (f: 56 bytes seen
// nowhere else), then "#" and a tail. The third block's key equals the
// first's, so it takes the first's place at the top of the 'a' tree, above
// the second block: the search meets the nearer string first.
class LzhEncodeReplacedNode : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 56; ++i) filler.push_back(static_cast<uint8_t>(0x80 + i));
    body.Literals("abc1");
    for (uint8_t b : filler) body.Literal(b);
    // "abc" of the second block 60 back, its '2' new, then f and "abc" of
    // the third block 60 back, then the third block's '1' and f 120 back.
    body.Match(3, 59).Literal('2').Match(59, 59).Match(57, 119).Literal('#');
  }

  Bytes Input(const std::string& tail) const {
    Bytes in;
    for (const char* head : {"abc1", "abc2", "abc1"}) {
      in.insert(in.end(), head, head + 4);
      in.insert(in.end(), filler.begin(), filler.end());
    }
    in.push_back('#');
    in.insert(in.end(), tail.begin(), tail.end());
    return in;
  }

  Bytes filler;
  LzhBodyWriter body;  // the items up to the tail
};

TEST_F(LzhEncodeReplacedNode, NearerMatchMetFirstIsKept) {
  // "abc3" matches both remaining blocks 3 bytes long: the third block
  // (offset 60), met first, wins over the second (offset 120).
  EXPECT_EQ(Encode(Input("abc3")), body.Match(3, 60).Literal('3').Body());
}

TEST_F(LzhEncodeReplacedNode, LongerMatchMetLaterWinsWhateverItsOffset) {
  EXPECT_EQ(Encode(Input("abc2")), body.Match(4, 120).Body());
}

TEST(LzhEncode, ReadsInBlocksWithAProgressPointEach) {
  const testing::Observed seen =
      testing::Observe(testing::Operation::Compress, TCompressMode::Good, testing::TextLike(70000, 4));
  const auto packed = static_cast<int32_t>(seen.output.size());
  ASSERT_LT(packed, 8 + 32768) << "one output block";
  // The read that delivers nothing ends the input, with a point of its own.
  EXPECT_EQ(seen.points, (testing::ProgressPoints{{32768, 8},
                                                  {65536, 8},
                                                  {70000, 8},
                                                  {70000, 8},
                                                  {70000, packed},
                                                  {70000, packed}}));
}

TEST(LzhEncode, CodesLongerThan16Bits) {
  // Weights in a Fibonacci-like chain make the tree 17 levels deep.
  std::vector<int> symbols;
  const int counts[] = {306, 306, 613, 920, 1534, 2455, 3990, 6446};
  for (int k = 0; k < 8; ++k) symbols.insert(symbols.end(), counts[k], 256 + k);
  std::shuffle(symbols.begin(), symbols.end(), std::mt19937(7));

  LzhEncoderProbe probe;
  LzhBodyWriter expected_body;
  Bytes expected;
  for (int symbol : symbols) {
    probe.Symbol(symbol);
    probe.Offset(0);
    expected_body.Match(symbol - 253, 0);
    expected.insert(expected.end(), symbol - 253, ' ');
  }
  std::vector<int> deep;
  for (int s = 0; s < SymbolCount; ++s) {
    if (probe.Code(s).size() == 17) deep.push_back(s);
  }
  ASSERT_EQ(deep.size(), 100u);
  // Literals only, so that the decoded bytes stay predictable.
  ASSERT_LT(deep.front(), 256);
  for (int s : deep) {
    if (s >= 256) break;
    probe.Symbol(s);
    expected_body.Literal(static_cast<uint8_t>(s));
    expected.push_back(static_cast<uint8_t>(s));
  }

  const Bytes body = probe.Body();
  EXPECT_EQ(body, expected_body.Body());
  EXPECT_EQ(Decode(expected.size(), body), expected);
}

TEST(LzhEncode, BodiesStayBitForBitTheSame) {
  // Stored archives hold these bodies. Source: the first, plain
  // byte-by-byte version of this encoder.
  EXPECT_EQ(testing::Hash(Encode(testing::TextLike(1 << 20, 31))), "253032:18979d2f6e83a4ad");
  EXPECT_EQ(testing::Hash(Encode(testing::BinaryLike(1 << 20, 32))), "522606:080da84cc48982e3");
  EXPECT_EQ(testing::Hash(Encode(testing::Repetitive(1 << 20, 33))), "23578:a8def18d38d27312");
  EXPECT_EQ(testing::Hash(Encode(testing::RandomBytes(1 << 18, 34))), "262409:35f4c8575c6ee37c");
}

TEST(LzhDecode, WindowBytesNeverWrittenReadAsZero) {
  // Offset 4091 from position 4036 points at 4040, which nothing has set.
  LzhBodyWriter body;
  body.Match(3, 4091).Literals("ok");
  EXPECT_EQ(Decode(body.Stream(5)).output, (Bytes{0, 0, 0, 'o', 'k'}));
}

TEST(LzhDecode, OverlappingMatchesAndFarOffsets) {
  const Bytes text = testing::TextLike(5000, 3);
  LzhBodyWriter body;
  Bytes expected;
  for (size_t i = 0; i < 4500; ++i) {
    body.Literal(text[i]);
    expected.push_back(text[i]);
  }
  // 4094 back, then an overlapping run at offset 1 (distance 2).
  body.Match(10, 4094);
  for (int k = 0; k < 10; ++k) expected.push_back(expected[expected.size() - 4095]);
  body.Match(60, 1);
  for (int k = 0; k < 60; ++k) expected.push_back(expected[expected.size() - 2]);
  EXPECT_EQ(Decode(body.Stream(static_cast<int32_t>(expected.size()))).output, expected);
}

TEST(LzhDecode, OutputLeavesInBlocksOf32768) {
  // Large outputs out of small bodies: the output leaves in blocks of exactly
  // 32768 bytes, each written when the next byte arrives.
  for (const int32_t size : {16384, 70000}) {
    LzhBodyWriter body;
    body.Literal('q');
    for (int32_t left = size - 1; left > 0; left -= 60) body.Match(std::min(left, 60), 0);
    const Bytes packed = body.Stream(size);
    const auto read = static_cast<int32_t>(packed.size());
    const testing::Observed seen = Decode(packed);
    ASSERT_EQ(seen.outcome, "ok " + std::to_string(size));
    EXPECT_EQ(seen.output, Bytes(static_cast<size_t>(size), 'q'));
    testing::ProgressPoints expected = {{read, 0}};
    for (int32_t block = 32768; block <= size; block += 32768) expected.push_back({read, block});
    // Read-ahead past the end of the stream: one point per byte fetched
    // there, at most two, then the final flush and the end of Decompress.
    const size_t blocks = expected.size();
    while (expected.size() + 2 < seen.points.size()) expected.push_back(expected.back());
    EXPECT_LE(expected.size(), blocks + 2) << size;
    expected.insert(expected.end(), 2, {read, size});
    EXPECT_EQ(seen.points, expected) << size;
  }
}

TEST(LzhDecode, InputIsLoadedInBlocksOf32768) {
  const Bytes text = testing::RandomBytes(40000, 5);
  LzhBodyWriter body;
  for (uint8_t b : text) body.Literal(b);
  const Bytes packed = body.Stream(static_cast<int32_t>(text.size()));
  ASSERT_GT(packed.size(), 8u + 32768);
  const testing::Observed seen = Decode(packed);
  EXPECT_EQ(seen.output, text);
  ASSERT_GE(seen.points.size(), 3u);
  // The second load comes before the first output block is full.
  const auto size = static_cast<int32_t>(packed.size());
  EXPECT_EQ(seen.points[0], std::make_pair(8 + 32768, 0));
  EXPECT_EQ(seen.points[1], std::make_pair(size, 0));
  EXPECT_EQ(seen.points[2], std::make_pair(size, 32768));
}

TEST(LzhDecode, AbcEndsWithPointsPastTheEnd) {
  EXPECT_EQ(Decode(testing::LzhStream(3, {0xF6, 0xFB, 0xBD, 0xE0})).points,
            (testing::ProgressPoints{{12, 0}, {12, 0}, {12, 3}, {12, 3}}));
}

}  // namespace
}  // namespace stowaway
