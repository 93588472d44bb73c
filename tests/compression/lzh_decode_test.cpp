// Decoding LZH streams through Decompress in stream mode.
#include <gtest/gtest.h>

#include "compression/LZRW1.h"
#include "tests/compression/lzh_body_writer.h"
#include "tests/compression/progress_recorder.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::LzhBodyWriter;
using testing::LzhStream;
using testing::ProgressPoints;
using testing::ProgressRecorder;

struct Decoded {
  Bytes output;
  int32_t result = 0;
  int64_t input_position = 0;
  ProgressPoints points;
};

Decoded DecodeStream(const Bytes& packed, int64_t start = 0) {
  Tlzrw1 codec;
  TMemoryStream in(packed);
  TMemoryStream out;
  in.Seek(start, SeekOrigin::Begin);
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  ProgressRecorder recorder(codec);
  Decoded d;
  d.result = codec.Decompress();
  d.output = out.Data();
  d.input_position = in.Position();
  d.points = recorder.points;
  return d;
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(LzhDecode, KnownBodies) {
  EXPECT_EQ(Text(DecodeStream(LzhStream(3, {0xF6, 0xFB, 0xBD, 0xE0})).output), "abc");
  EXPECT_EQ(Text(DecodeStream(LzhStream(60, {0xC5, 0x1D, 0x80})).output), std::string(60, ' '));
  EXPECT_EQ(Text(DecodeStream(LzhStream(60, {0xF6, 0xE2, 0x0E, 0xC0})).output),
            "a" + std::string(59, ' '));
}

TEST(LzhDecode, SizeZeroReadsNoBody) {
  const Decoded d = DecodeStream(LzhStream(0, {0xDE, 0xAD}));
  EXPECT_EQ(d.result, 0);
  EXPECT_TRUE(d.output.empty());
  EXPECT_EQ(d.input_position, 8) << "nothing behind the header is fetched";
  EXPECT_EQ(d.points, (ProgressPoints{{8, 0}, {8, 0}}));
}

TEST(LzhDecode, HeaderAnnouncing16384Bytes) {
  LzhBodyWriter body;
  body.Literal('x');
  for (int i = 0; i < 273; ++i) body.Match(60, 0);
  body.Match(3, 0);
  const Bytes packed = body.Stream(16384);
  ASSERT_EQ(Bytes(packed.begin(), packed.begin() + 8),
            (Bytes{0x21, 0x48, 0x5A, 0x4C, 0x00, 0x40, 0x00, 0x00}));
  const Decoded d = DecodeStream(packed);
  EXPECT_EQ(d.result, 16384);
  EXPECT_EQ(d.output, Bytes(16384, 'x'));
  EXPECT_EQ(d.points.back(), std::make_pair(static_cast<int32_t>(packed.size()), 16384));
}

TEST(LzhDecode, FirstMatchRepeatsTheSpaceBeforeTheStart) {
  LzhBodyWriter body;
  body.Match(60, 0);
  EXPECT_EQ(DecodeStream(body.Stream(60)).output, Bytes(60, ' '));
}

TEST(LzhDecode, WindowBytesNeverWrittenReadAsZero) {
  // Offset 4091 from position 4036 points at 4040, which nothing has set.
  LzhBodyWriter body;
  body.Match(3, 4091).Literals("ok");
  EXPECT_EQ(DecodeStream(body.Stream(5)).output, (Bytes{0, 0, 0, 'o', 'k'}));
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
  const Decoded d = DecodeStream(body.Stream(static_cast<int32_t>(expected.size())));
  EXPECT_EQ(d.output, expected);
}

TEST(LzhDecode, AcrossTheModelsRebuilds) {
  // 40000 literals: the first rebuild comes at the 32455th symbol.
  const Bytes text = testing::BinaryLike(100000, 11);
  LzhBodyWriter body;
  for (uint8_t b : text) body.Literal(b);
  const Decoded d = DecodeStream(body.Stream(static_cast<int32_t>(text.size())));
  EXPECT_EQ(d.output, text);
}

TEST(LzhDecode, BlocksAndProgressPointsOfALargeOutput) {
  // 70000 bytes out of a small body: the output leaves in blocks of exactly
  // 32768 bytes, each written when the next byte arrives.
  LzhBodyWriter body;
  body.Literal('q');
  for (int i = 0; i < 1166; ++i) body.Match(60, 0);
  body.Match(39, 0);
  const int32_t size = 1 + 1166 * 60 + 39;
  ASSERT_EQ(size, 70000);
  const Bytes packed = body.Stream(size);
  const auto read = static_cast<int32_t>(packed.size());

  const Decoded d = DecodeStream(packed);
  ASSERT_EQ(d.result, size);
  ProgressPoints expected = {{read, 0}, {read, 32768}, {read, 65536}};
  // Read-ahead past the end of the stream: one point per byte fetched there,
  // then the final flush and the end of Decompress.
  while (expected.size() + 2 < d.points.size()) expected.push_back({read, 65536});
  expected.push_back({read, 70000});
  expected.push_back({read, 70000});
  EXPECT_EQ(d.points, expected);
  EXPECT_LE(d.points.size(), 7u) << "at most two bytes are fetched ahead";
}

TEST(LzhDecode, InputIsLoadedInBlocksOf32768) {
  const Bytes text = testing::RandomBytes(40000, 5);
  LzhBodyWriter body;
  for (uint8_t b : text) body.Literal(b);
  const Bytes packed = body.Stream(static_cast<int32_t>(text.size()));
  ASSERT_GT(packed.size(), 8u + 32768);
  const Decoded d = DecodeStream(packed);
  EXPECT_EQ(d.output, text);
  ASSERT_GE(d.points.size(), 3u);
  // The second load comes before the first output block is full.
  const auto size = static_cast<int32_t>(packed.size());
  EXPECT_EQ(d.points[0], std::make_pair(8 + 32768, 0));
  EXPECT_EQ(d.points[1], std::make_pair(size, 0));
  EXPECT_EQ(d.points[2], std::make_pair(size, 32768));
}

TEST(LzhDecode, AbcEndsWithPointsPastTheEnd) {
  const Decoded d = DecodeStream(LzhStream(3, {0xF6, 0xFB, 0xBD, 0xE0}));
  EXPECT_EQ(d.points, (ProgressPoints{{12, 0}, {12, 0}, {12, 3}, {12, 3}}));
}

TEST(LzhDecode, InTheMiddleOfALargerStream) {
  LzhBodyWriter body;
  body.Literals("hello, world");
  const Bytes stream = body.Stream(12);
  Bytes container = testing::RandomBytes(1000, 1);
  container.insert(container.end(), stream.begin(), stream.end());
  const Bytes tail = testing::RandomBytes(50000, 2);
  container.insert(container.end(), tail.begin(), tail.end());

  const Decoded d = DecodeStream(container, 1000);
  EXPECT_EQ(Text(d.output), "hello, world");
  // The block read takes 32768 bytes behind the header, whatever they are.
  EXPECT_EQ(d.input_position, 1000 + 8 + 32768);
  EXPECT_EQ(d.points.back().first, 8 + 32768);
}

TEST(LzhDecode, CutOffBodyIsRefused) {
  const Bytes text = testing::TextLike(3000, 9);
  LzhBodyWriter body;
  for (uint8_t b : text) body.Literal(b);
  Bytes packed = body.Stream(static_cast<int32_t>(text.size()));
  packed.resize(packed.size() / 2);

  Tlzrw1 codec;
  TMemoryStream in(packed);
  TMemoryStream out;
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  try {
    codec.Decompress();
    FAIL() << "a cut-off body decoded";
  } catch (const ELzrw1Exception& e) {
    EXPECT_EQ(e.Message(),
              "Lzrw1 (LZH decompression) : compressed data ends before the original size is "
              "reached !");
  }
}

TEST(LzhDecode, BodyEndingExactlyAtTheStreamsEndIsNotCutOff) {
  // The padding bits of the last byte and the read-ahead beyond it are
  // fetched but never used.
  for (int n = 1; n <= 24; ++n) {
    LzhBodyWriter body;
    for (int i = 0; i < n; ++i) body.Literal(static_cast<uint8_t>('a' + i));
    EXPECT_EQ(DecodeStream(body.Stream(n)).result, n) << n << " literals";
  }
}

TEST(LzhDecode, MatchRunningPastTheSizeIsAMismatch) {
  LzhBodyWriter body;
  body.Literal('z').Match(60, 0);
  Tlzrw1 codec;
  TMemoryStream in(body.Stream(10));
  TMemoryStream out;
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  try {
    codec.Decompress();
    FAIL() << "an overrun passed the size check";
  } catch (const ELzrw1Exception& e) {
    EXPECT_EQ(e.Message(), "Lzrw1 (LZH decompression) : Original and compressed sizes do not match !");
  }
  EXPECT_EQ(out.Data(), Bytes(61, 'z')) << "the whole match was written";
  EXPECT_EQ(codec.BytesWritten, 61);
}

}  // namespace
}  // namespace stowaway
