// Advise: where it samples and what it decides. Its failures are swept in
// fault_sweep_test, those of files it cannot measure or open in
// compress_test.
#include <gtest/gtest.h>

#include "compression/LZRW1.h"
#include "tests/compression/io_doubles.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::RecordingStream;
using testing::ZeroStream;
using Reads = std::vector<std::pair<int64_t, int32_t>>;

class AdviseOnStreams : public ::testing::Test {
 protected:
  TCompressMode AdviseOn(TStream& input) {
    codec.UseStream = true;
    codec.InputStream = &input;
    return codec.Advise();
  }

  // The reads Advise makes on a stream of the given bytes, positioned at
  // start; the position must come back.
  Reads SampledReads(Bytes data, int64_t start = 0) {
    TMemoryStream memory(std::move(data));
    memory.Seek(start, SeekOrigin::Begin);
    RecordingStream recording(memory);
    AdviseOn(recording);
    EXPECT_EQ(memory.Position(), start);
    return recording.reads;
  }

  Tlzrw1 codec;
};

TEST_F(AdviseOnStreams, SmallInputsAreNotReadAndStayGood) {
  codec.CompressMode = TCompressMode::Auto;
  EXPECT_EQ(SampledReads(Bytes(98303, 0x61)), Reads{});
  EXPECT_EQ(codec.CompressMode, TCompressMode::Good);

  codec.CompressMode = TCompressMode::Fast;
  TMemoryStream empty;
  EXPECT_EQ(AdviseOn(empty), TCompressMode::Good);
  EXPECT_EQ(codec.CompressMode, TCompressMode::Good);
}

TEST_F(AdviseOnStreams, SamplesAtAThirdAndTwoThirdsInWholeBlocks) {
  EXPECT_EQ(SampledReads(Bytes(98304, 0x61)), (Reads{{32768, 32768}, {65536, 32768}}));
  EXPECT_EQ(SampledReads(testing::RandomBytes(1000000, 1)), (Reads{{327680, 32768}, {655360, 32768}}));
  EXPECT_EQ(SampledReads(testing::TextLike(1000000, 1), 123457), (Reads{{327680, 32768}, {655360, 32768}}))
      << "absolute offsets from the whole length";
}

TEST_F(AdviseOnStreams, InputsBeyondTwoGiBAreSampledWhereTheyLie) {
  ZeroStream huge(int64_t{3} << 30);
  RecordingStream recording(huge);
  EXPECT_EQ(AdviseOn(recording), TCompressMode::Fast);
  EXPECT_EQ(recording.reads, (Reads{{int64_t{1} << 30, 32768}, {int64_t{2} << 30, 32768}}));
}

TEST_F(AdviseOnStreams, TheThresholdDecides) {
  const Bytes repeated(300000, 0x20);
  const Bytes random = testing::RandomBytes(300000, 2);
  const Bytes binary = testing::BinaryLike(300000, 3);  // shrinks to about 70 %
  const auto advise = [&](const Bytes& data, int32_t threshold) {
    codec.Threshold = threshold;
    TMemoryStream input(data);
    return AdviseOn(input);
  };
  EXPECT_EQ(advise(repeated, 40), TCompressMode::Fast);
  EXPECT_EQ(advise(random, 40), TCompressMode::Good);
  EXPECT_EQ(advise(binary, 40), TCompressMode::Good);
  EXPECT_EQ(advise(binary, 100), TCompressMode::Fast);
  EXPECT_EQ(advise(random, 100), TCompressMode::Good) << "stored samples never shrink";
  EXPECT_EQ(advise(repeated, 0), TCompressMode::Good);
  EXPECT_EQ(advise(repeated, -7), TCompressMode::Good);
  // Stored samples count 65538 against 65536 bytes: a threshold just above
  // 100 lets them through, and so does the largest, without overflow.
  EXPECT_EQ(advise(random, 101), TCompressMode::Fast);
  EXPECT_EQ(advise(random, 2147483647), TCompressMode::Fast);
  EXPECT_EQ(codec.CompressMode, TCompressMode::Good) << "large inputs leave it as it was";
}

}  // namespace
}  // namespace stowaway
