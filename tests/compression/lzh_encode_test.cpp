// The LZH encoder: known bodies, the choice among equal matches, the end of
// the input, deep Huffman codes, and round trips through Decompress.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>

#include "compression/LZRW1.h"
#include "compression/lzh.h"
#include "tests/compression/lzh_body_writer.h"
#include "tests/support/test_data.h"

namespace stowaway {

using testing::Bytes;
using testing::LzhBodyWriter;
using testing::LzhStream;

namespace {

// A source over a byte vector, handing it out in blocks as the component does.
class VectorSource final : public LzhSource {
 public:
  explicit VectorSource(const Bytes& data) : data_(data) {}

  int refills = 0;

 protected:
  bool Refill() override {
    ++refills;
    const size_t block = std::min<size_t>(BlockSize, data_.size() - taken_);
    Next = data_.data() + taken_;
    End = Next + block;
    taken_ += block;
    return block != 0;
  }

 private:
  const Bytes& data_;
  size_t taken_ = 0;
};

// A sink collecting into a vector through a small buffer, so that the
// encoder meets many full buffers.
class VectorSink final : public LzhSink {
 public:
  VectorSink() { Flush(); }

  Bytes Finish() {
    Flush();
    return out_;
  }

 protected:
  void Flush() override {
    if (Next != nullptr) out_.insert(out_.end(), buffer_.data(), Next);
    Next = buffer_.data();
    End = Next + buffer_.size();
  }

 private:
  std::array<uint8_t, 1000> buffer_{};
  Bytes out_;
};

}  // namespace

// Drives the encoder's symbol and offset steps directly.
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
    return sink_.Finish();
  }

 private:
  TLZH codec_;
  VectorSink sink_;
};

namespace {

Bytes Encode(const Bytes& input, int* refills = nullptr) {
  VectorSource source(input);
  VectorSink sink;
  TLZH codec;
  codec.EncodeStream(source, sink);
  if (refills != nullptr) *refills = source.refills;
  return sink.Finish();
}

Bytes Decode(int32_t size, const Bytes& body) {
  Tlzrw1 codec;
  TMemoryStream in(LzhStream(size, body));
  TMemoryStream out;
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  codec.Decompress();
  return out.Data();
}

Bytes Spaces(size_t n) { return Bytes(n, ' '); }

TEST(LzhEncode, KnownBodies) {
  EXPECT_EQ(Encode(testing::ToBytes("abc")), (Bytes{0xF6, 0xFB, 0xBD, 0xE0}));
  EXPECT_EQ(Encode(Spaces(60)), (Bytes{0xC5, 0x1D, 0x80}));
  EXPECT_EQ(Encode(testing::ToBytes("a" + std::string(59, ' '))), (Bytes{0xF6, 0xE2, 0x0E, 0xC0}));
}

TEST(LzhEncode, EmptyInputCodesTheLiteralZero) {
  // The byte at 4036 has never been set: the fresh window's zero.
  const Bytes body = Encode({});
  EXPECT_EQ(body, (Bytes{0xC6, 0x00}));
  EXPECT_TRUE(Decode(0, body).empty());
}

TEST(LzhEncode, SpacesMatchTheInitialFillAtOffsetZero) {
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
  static Bytes Input(const std::string& tail) {
    Bytes in;
    for (const char* head : {"abc1", "abc2", "abc1"}) {
      in.insert(in.end(), head, head + 4);
      in.insert(in.end(), Filler().begin(), Filler().end());
    }
    in.push_back('#');
    in.insert(in.end(), tail.begin(), tail.end());
    return in;
  }

  static const Bytes& Filler() {
    static const Bytes f = [] {
      Bytes b;
      for (int i = 0; i < 56; ++i) b.push_back(static_cast<uint8_t>(0x80 + i));
      return b;
    }();
    return f;
  }

  // The items of everything before the tail.
  static void Blocks(LzhBodyWriter& body) {
    body.Literals("abc1");
    for (uint8_t b : Filler()) body.Literal(b);
    // "abc" of the second block 60 back, its '2' new, then f and "abc" of
    // the third block 60 back, then the third block's '1' and f 120 back.
    body.Match(3, 59).Literal('2').Match(59, 59).Match(57, 119).Literal('#');
  }
};

TEST_F(LzhEncodeReplacedNode, NearerMatchMetFirstIsKept) {
  // "abc3" matches both remaining blocks 3 bytes long: the third block
  // (offset 60), met first, wins over the second (offset 120).
  LzhBodyWriter body;
  Blocks(body);
  EXPECT_EQ(Encode(Input("abc3")), body.Match(3, 60).Literal('3').Body());
}

TEST_F(LzhEncodeReplacedNode, LongerMatchMetLaterWinsWhateverItsOffset) {
  LzhBodyWriter body;
  Blocks(body);
  EXPECT_EQ(Encode(Input("abc2")), body.Match(4, 120).Body());
}

TEST(LzhEncode, ReadsInBlocksUntilAReadDeliversNothing) {
  for (const size_t size : {0, 1, 32767, 32768, 32769, 100000}) {
    const Bytes input = testing::TextLike(size, 4);
    int refills = 0;
    const Bytes body = Encode(input, &refills);
    EXPECT_EQ(refills, static_cast<int>((size + BlockSize - 1) / BlockSize) + 1) << size;
    EXPECT_EQ(Decode(static_cast<int32_t>(size), body), input) << size;
  }
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
                           {"random", testing::RandomBytes},
                           {"repetitive", testing::Repetitive}};

TEST(LzhEncode, RoundTripsAroundEveryBoundary) {
  for (const Corpus& corpus : kCorpora) {
    for (const size_t size : {1, 2, 3, 59, 60, 61, 118, 119, 120, 4095, 4096, 4097, 4155, 32767,
                              32768, 32769, 65536, 100000}) {
      const Bytes input = corpus.make(size, static_cast<uint32_t>(size));
      EXPECT_EQ(Decode(static_cast<int32_t>(size), Encode(input)), input)
          << corpus.name << ", " << size << " bytes";
    }
  }
}

TEST(LzhEncode, RoundTripsOfSeveralMegabytes) {
  // Hundreds of model rebuilds and many passes round the window.
  for (const Corpus& corpus : kCorpora) {
    const Bytes input = corpus.make(3 << 20, 21);
    const Bytes body = Encode(input);
    EXPECT_EQ(Decode(static_cast<int32_t>(input.size()), body), input) << corpus.name;
  }
}

}  // namespace
}  // namespace stowaway
