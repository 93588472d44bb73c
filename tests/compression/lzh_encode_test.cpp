// The LZH encoder: known bodies, the choice among equal matches, the end of
// the input, deep Huffman codes, and round trips through Decompress.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "compression/LZRW1.h"
#include "compression/lzh.h"
#include "tests/compression/lzh_body_writer.h"
#include "tests/compression/progress_recorder.h"
#include "tests/support/test_data.h"

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

void UseStreams(Tlzrw1& codec, TStream& in, TStream& out) {
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
}

Bytes Pack(const Bytes& input) {
  Tlzrw1 codec;
  TMemoryStream in(input);
  TMemoryStream out;
  UseStreams(codec, in, out);
  codec.CompressMode = TCompressMode::Good;
  codec.Compress();
  return out.Data();
}

Bytes Encode(const Bytes& input) {
  const Bytes packed = Pack(input);
  return Bytes(packed.begin() + 8, packed.end());
}

Bytes Decode(int32_t size, const Bytes& body) {
  Tlzrw1 codec;
  TMemoryStream in(LzhStream(size, body));
  TMemoryStream out;
  UseStreams(codec, in, out);
  codec.Decompress();
  return out.Data();
}

Bytes Spaces(size_t n) { return Bytes(n, ' '); }

TEST(LzhEncode, KnownBodies) {
  EXPECT_EQ(Pack(testing::ToBytes("abc")),
            (Bytes{0x21, 0x48, 0x5A, 0x4C, 3, 0, 0, 0, 0xF6, 0xFB, 0xBD, 0xE0}));
  EXPECT_EQ(Encode(Spaces(60)), (Bytes{0xC5, 0x1D, 0x80}));
  EXPECT_EQ(Encode(testing::ToBytes("a" + std::string(59, ' '))), (Bytes{0xF6, 0xE2, 0x0E, 0xC0}));
  // The byte at 4036 has never been set: the fresh window's zero.
  const Bytes empty = Encode({});
  EXPECT_EQ(empty, (Bytes{0xC6, 0x00}));
  EXPECT_TRUE(Decode(0, empty).empty());
}

TEST(LzhEncode, SpacesMatchTheInitialFill) {
  EXPECT_EQ(Encode(Spaces(1)), LzhBodyWriter().Literal(' ').Body());
  EXPECT_EQ(Encode(Spaces(2)), LzhBodyWriter().Literals("  ").Body());
  for (int n = 3; n <= 58; ++n) {
    EXPECT_EQ(Encode(Spaces(n)), LzhBodyWriter().Match(n, 0).Body()) << n << " spaces";
  }
  // From 59 spaces on, every key before the input is 60 spaces: the only one
  // left in the tree is 3976, inserted last.
  EXPECT_EQ(Encode(Spaces(59)), LzhBodyWriter().Match(59, 59).Body());
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
  const Bytes input = testing::TextLike(70000, 4);
  Tlzrw1 codec;
  TMemoryStream in(input);
  TMemoryStream out;
  UseStreams(codec, in, out);
  testing::ProgressRecorder recorder(codec);
  const int32_t packed = codec.Compress();
  ASSERT_LT(packed, 8 + 32768) << "one output block";
  // The read that delivers nothing ends the input, with a point of its own.
  EXPECT_EQ(recorder.points, (testing::ProgressPoints{{32768, 8},
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
  EXPECT_EQ(Decode(static_cast<int32_t>(expected.size()), body), expected);
}

struct Corpus {
  const char* name;
  Bytes (*make)(size_t, uint32_t);
};

const Corpus kCorpora[] = {{"text", testing::TextLike},
                           {"binary", testing::BinaryLike},
                           {"repetitive", testing::Repetitive},
                           {"random", testing::RandomBytes}};

uint64_t Fnv1a(const Bytes& data) {
  uint64_t h = 0xCBF29CE484222325;
  for (uint8_t b : data) h = (h ^ b) * 0x100000001B3;
  return h;
}

TEST(LzhEncode, BodiesStayBitForBitTheSame) {
  // Stored archives hold these bodies. Source: the first, plain
  // byte-by-byte version of this encoder.
  const std::pair<size_t, uint64_t> expected[] = {{253032, 0x18979D2F6E83A4AD},
                                                  {522606, 0x080DA84CC48982E3},
                                                  {23578, 0xA8DEF18D38D27312},
                                                  {262409, 0x35F4C8575C6EE37C}};
  for (int k = 0; k < 4; ++k) {
    const Corpus& corpus = kCorpora[k];
    const Bytes body = Encode(corpus.make(k == 3 ? 1 << 18 : 1 << 20, 31 + k));
    EXPECT_EQ(body.size(), expected[k].first) << corpus.name;
    EXPECT_EQ(Fnv1a(body), expected[k].second) << corpus.name;
  }
}

TEST(LzhEncode, RoundTrips) {
  // Every window and block boundary, then hundreds of model rebuilds and
  // many passes round the window.
  for (const Corpus& corpus : kCorpora) {
    for (const size_t size : {1, 2, 3, 59, 60, 61, 118, 119, 120, 4095, 4096, 4097, 4155, 32767,
                              32768, 32769, 100000, 3 << 20}) {
      const Bytes input = corpus.make(size, static_cast<uint32_t>(size));
      EXPECT_EQ(Decode(static_cast<int32_t>(size), Encode(input)), input)
          << corpus.name << ", " << size << " bytes";
    }
  }
}

}  // namespace
}  // namespace stowaway
