// Recorded results of the LZH codec on a fixed, seeded data set: the packed
// bytes, the unpacked bytes, every progress point, the failure messages and
// where the input stream is left. Archives in the field hold these bodies,
// and installers' progress displays follow these points, so a faster codec
// must give all of them unchanged. Recorded from the plain byte-at-a-time
// codec, before any of its speed work.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/compression/lzh_body_writer.h"
#include "tests/compression/observe.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::Kind;
using testing::Observed;
using testing::Operation;

// Many tiny pieces, so that the codec's input buffer often holds only a few
// bytes.
int32_t SmallPieces(int32_t draw, int32_t) { return draw % 4 == 0 ? draw % 5000 + 1 : draw % 4 + 1; }

// Reports the end of the data once, at its nth block read, and then goes on
// serving the rest, as a growing file or a pipe might.
class HiccupStream final : public TStream {
 public:
  HiccupStream(Bytes data, int nth) : inner_(std::move(data)), nth_(nth) {}

  int32_t Read(void* buffer, int32_t count) override {
    if (count > 4 && ++reads_ == nth_) return 0;
    return inner_.Read(buffer, count);
  }
  int32_t Write(const void* buffer, int32_t count) override { return inner_.Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_.Seek(offset, origin); }

 private:
  TMemoryStream inner_;
  int nth_;
  int reads_ = 0;
};

const std::string CutOff =
    "ELzrw1Exception: Lzrw1 (LZH decompression) : compressed data ends before the original size "
    "is reached !";

Observed Observe(Operation operation, TStream& in, int encoder_threads = 1) {
  return testing::Observe(operation, TCompressMode::Good, in, encoder_threads);
}

Observed Observe(Operation operation, const Bytes& input, int encoder_threads = 1) {
  return testing::Observe(operation, TCompressMode::Good, input, 0, encoder_threads);
}

// The encoder alone, and finding its matches on two and three threads.
constexpr int EncoderThreadCounts[] = {1, 2, 3};

// Text, program-like records, noise and long runs, each large enough for
// many model rebuilds and, packed, several input blocks.
const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"text", testing::TextLike(1 << 20, 41)},
      {"binary", testing::BinaryLike(1 << 20, 42)},
      {"random", testing::RandomBytes(300000, 43)},
      {"repetitive", testing::Repetitive(1 << 20, 44)},
      {"mixed", testing::Mixed(77, 24, 1000, 60000)},
  };
  return kinds;
}

const Bytes& PackedKind(size_t k) {
  static std::vector<Bytes> packed(Kinds().size());
  if (packed[k].empty()) packed[k] = testing::Packed(Kinds()[k].input, TCompressMode::Good);
  return packed[k];
}

TEST(LzhGolden, Compress) {
  const char* const expected[] = {
      "ok 252151 | out 252151:707dd318c9aa08f6 | points 42:f5181c01eb792ccc | in at 1048576",
      "ok 521933 | out 521933:2bc6c55a0f6e689b | points 50:afdc4ba5aa3fcb45 | in at 1048576",
      "ok 300306 | out 300306:14ea21d052e8fde8 | points 22:27071c41707c4291 | in at 300000",
      "ok 23658 | out 23658:7d6f0e2bf2db611c | points 35:70e4fe902396902d | in at 1048576",
      "ok 462087 | out 462087:02ea01a511277e8d | points 50:713fc497c189ab37 | in at 1049907",
  };
  for (int threads : EncoderThreadCounts) {
    for (size_t k = 0; k < Kinds().size(); ++k) {
      EXPECT_EQ(Observe(Operation::Compress, Kinds()[k].input, threads).Line(), expected[k])
          << Kinds()[k].name << " on " << threads << " threads";
    }
  }
}

TEST(LzhGolden, CompressFromAStreamThatReadsInSmallPieces) {
  const char* const expected[] = {
      "ok 252151 | out 252151:707dd318c9aa08f6 | points 1746:94c6c209cdfb3694 | in at 1048576",
      "ok 521933 | out 521933:2bc6c55a0f6e689b | points 1659:f70979478c28cb9b | in at 1048576",
      "ok 300306 | out 300306:14ea21d052e8fde8 | points 488:0db6799a8babffd2 | in at 300000",
      "ok 23658 | out 23658:7d6f0e2bf2db611c | points 1925:3b1ef3fff753029c | in at 1048576",
      "ok 462087 | out 462087:02ea01a511277e8d | points 1639:ff282d577df7eed8 | in at 1049907",
  };
  for (int threads : EncoderThreadCounts) {
    for (size_t k = 0; k < Kinds().size(); ++k) {
      testing::ChoppyStream in(Kinds()[k].input, static_cast<uint32_t>(k), SmallPieces);
      EXPECT_EQ(Observe(Operation::Compress, in, threads).Line(), expected[k])
          << Kinds()[k].name << " on " << threads << " threads";
    }
  }
}

TEST(LzhGolden, ShortInputs) {
  // Inputs under 119 bytes compare window bytes that were never written.
  Bytes all;
  for (const Kind& kind : Kinds()) {
    for (size_t size = 0; size <= 300; ++size) {
      const Bytes packed = testing::Packed(Bytes(kind.input.begin(), kind.input.begin() + size), TCompressMode::Good);
      all.insert(all.end(), packed.begin(), packed.end());
    }
  }
  EXPECT_EQ(testing::Hash(all), "126762:4be30a240211324d");
}

// The packed data ends exactly where the stream ends: the read-ahead past
// the end shows as progress points.
TEST(LzhGolden, DecompressEndingWithTheStream) {
  const char* const expected[] = {
      "ok 1048576 | out 1048576:9e2ac5bd5f4119f0 | points 42:7d7ffbab0d5b46d9 | in at 252151",
      "ok 1048576 | out 1048576:23b68629e920b088 | points 50:3f5ffdf6ef9cca86 | in at 521933",
      "ok 300000 | out 300000:b21cc71dea9ce331 | points 22:6e046ec948cc8dc0 | in at 300306",
      "ok 1048576 | out 1048576:ff00373678775425 | points 35:61b4b23c5166a744 | in at 23658",
      "ok 1049907 | out 1049907:43fd3bbcd09f9db8 | points 50:8493bf8133337dd0 | in at 462087",
  };
  for (size_t k = 0; k < Kinds().size(); ++k) {
    const Observed seen = Observe(Operation::Decompress, PackedKind(k));
    EXPECT_EQ(seen.output, Kinds()[k].input) << Kinds()[k].name;
    EXPECT_EQ(seen.Line(), expected[k]) << Kinds()[k].name;
  }
}

TEST(LzhGolden, DecompressFollowedByMoreBytes) {
  // One and two bytes behind the body are within the reader's reach; a long
  // tail fills the last block read.
  const size_t tails[] = {1, 2, 40000};
  const char* const expected[] = {
      "ok 1048576 | out 1048576:9e2ac5bd5f4119f0 | points 41:46e03c8fa91c87e5 | in at 252152",
      "ok 1048576 | out 1048576:9e2ac5bd5f4119f0 | points 41:372476ebe399a504 | in at 252153",
      "ok 1048576 | out 1048576:9e2ac5bd5f4119f0 | points 41:fb016affa2814952 | in at 262152",
      "ok 1048576 | out 1048576:23b68629e920b088 | points 49:d68a66a2c9d80811 | in at 521934",
      "ok 1048576 | out 1048576:23b68629e920b088 | points 49:fdef6188142d5d09 | in at 521935",
      "ok 1048576 | out 1048576:23b68629e920b088 | points 49:c7b24c022160c94d | in at 524296",
      "ok 300000 | out 300000:b21cc71dea9ce331 | points 21:e690ce4d9c2c142d | in at 300307",
      "ok 300000 | out 300000:b21cc71dea9ce331 | points 21:70d8480ae9053f99 | in at 300308",
      "ok 300000 | out 300000:b21cc71dea9ce331 | points 21:f0e770d8ccda1f79 | in at 327688",
      "ok 1048576 | out 1048576:ff00373678775425 | points 34:6f352538963b729d | in at 23659",
      "ok 1048576 | out 1048576:ff00373678775425 | points 34:9fbfc3dba5067075 | in at 23660",
      "ok 1048576 | out 1048576:ff00373678775425 | points 34:0717770de5d96785 | in at 32776",
      "ok 1049907 | out 1049907:43fd3bbcd09f9db8 | points 49:10a9480101fd6848 | in at 462088",
      "ok 1049907 | out 1049907:43fd3bbcd09f9db8 | points 49:ecbe1786ecdd5589 | in at 462089",
      "ok 1049907 | out 1049907:43fd3bbcd09f9db8 | points 49:20af4c340538dc87 | in at 491528",
  };
  for (size_t k = 0; k < Kinds().size(); ++k) {
    for (size_t t = 0; t < 3; ++t) {
      Bytes stream = PackedKind(k);
      const Bytes tail = testing::RandomBytes(tails[t], 5);
      stream.insert(stream.end(), tail.begin(), tail.end());
      EXPECT_EQ(Observe(Operation::Decompress, stream).Line(), expected[3 * k + t])
          << Kinds()[k].name << ", " << tails[t] << " bytes behind";
    }
  }
}

TEST(LzhGolden, DecompressFromAStreamThatReadsInSmallPieces) {
  const char* const expected[] = {
      "ok 1048576 | out 1048576:9e2ac5bd5f4119f0 | points 434:4251fe8acb355976 | in at 252151",
      "ok 1048576 | out 1048576:23b68629e920b088 | points 1042:6ca2280fde3cd974 | in at 521933",
      "ok 300000 | out 300000:b21cc71dea9ce331 | points 550:28f4d550636e8ca5 | in at 300306",
      "ok 1048576 | out 1048576:ff00373678775425 | points 76:32ef976f754ea2bf | in at 23658",
      "ok 1049907 | out 1049907:43fd3bbcd09f9db8 | points 795:79e759bbbb92195f | in at 462087",
  };
  for (size_t k = 0; k < Kinds().size(); ++k) {
    testing::ChoppyStream in(PackedKind(k), static_cast<uint32_t>(k + 100), SmallPieces);
    EXPECT_EQ(Observe(Operation::Decompress, in).Line(), expected[k]) << Kinds()[k].name;
  }
}

TEST(LzhGolden, CutOffBodies) {
  // Cut inside the first block, around the ends of the first two blocks,
  // and within the last bytes, where the padding lies.
  const std::string expected[] = {
      CutOff + " | out 0:cbf29ce484222325 | points 2:083a95b1a22dd565 | in at 8",
      CutOff + " | out 0:cbf29ce484222325 | points 3:4050b93ff518e8cc | in at 9",
      CutOff + " | out 0:cbf29ce484222325 | points 2:f493912e2026ad45 | in at 1000",
      CutOff + " | out 131072:01558a56072789f9 | points 6:aca8b9ddb8474a95 | in at 32775",
      CutOff + " | out 131072:01558a56072789f9 | points 7:eb4bd3a1c74fb08f | in at 32776",
      CutOff + " | out 262144:cfb946fb734d66b7 | points 13:08485e654ee54a3e | in at 65545",
      CutOff + " | out 1015808:e13b8a707ed81770 | points 41:17e203383b6bba48 | in at 252149",
      CutOff + " | out 1015808:e13b8a707ed81770 | points 41:22fd941fc164e6bb | in at 252150",
      CutOff + " | out 0:cbf29ce484222325 | points 2:083a95b1a22dd565 | in at 8",
      CutOff + " | out 0:cbf29ce484222325 | points 3:4050b93ff518e8cc | in at 9",
      CutOff + " | out 0:cbf29ce484222325 | points 2:f493912e2026ad45 | in at 1000",
      CutOff + " | out 65536:ad9e3abe399c3c33 | points 5:3280c87ade348b7b | in at 32775",
      CutOff + " | out 65536:ad9e3abe399c3c33 | points 5:8dc14704a3c31b14 | in at 32776",
      CutOff + " | out 131072:e46efc3759d0a4ee | points 8:7fdabe3cc8fc6557 | in at 65545",
      CutOff + " | out 1015808:32f7ca9929ad1828 | points 49:e41d1726bb5e2c75 | in at 521931",
      CutOff + " | out 1015808:32f7ca9929ad1828 | points 49:d5cddad50324d35d | in at 521932",
      CutOff + " | out 0:cbf29ce484222325 | points 2:083a95b1a22dd565 | in at 8",
      CutOff + " | out 0:cbf29ce484222325 | points 3:4050b93ff518e8cc | in at 9",
      CutOff + " | out 0:cbf29ce484222325 | points 3:49a6b6984437ecbc | in at 1000",
      CutOff + " | out 0:cbf29ce484222325 | points 3:b7849789e38e8bc2 | in at 32775",
      CutOff + " | out 0:cbf29ce484222325 | points 3:550b6415318d5d8d | in at 32776",
      CutOff + " | out 32768:fa57a2c835afe235 | points 6:5fbfa31ed512db6d | in at 65545",
      CutOff + " | out 294912:9373d6210fbfa22f | points 21:b1bbeff776590ea9 | in at 300304",
      CutOff + " | out 294912:9373d6210fbfa22f | points 21:690cc0854d7899b1 | in at 300305",
      CutOff + " | out 0:cbf29ce484222325 | points 2:083a95b1a22dd565 | in at 8",
      CutOff + " | out 0:cbf29ce484222325 | points 3:4050b93ff518e8cc | in at 9",
      CutOff + " | out 32768:533170de03005ddb | points 4:874eb771b7da90e5 | in at 1000",
      "ok 1048576 | out 1048576:ff00373678775425 | points 35:61b4b23c5166a744 | in at 23658",
      "ok 1048576 | out 1048576:ff00373678775425 | points 35:61b4b23c5166a744 | in at 23658",
      "ok 1048576 | out 1048576:ff00373678775425 | points 35:61b4b23c5166a744 | in at 23658",
      CutOff + " | out 1015808:6b69860ef81f4b8e | points 33:4178e4a5bca6ea5e | in at 23656",
      CutOff + " | out 1015808:6b69860ef81f4b8e | points 34:390c80af81582cdd | in at 23657",
      CutOff + " | out 0:cbf29ce484222325 | points 2:083a95b1a22dd565 | in at 8",
      CutOff + " | out 0:cbf29ce484222325 | points 3:4050b93ff518e8cc | in at 9",
      CutOff + " | out 32768:28cac6b804bc0e0f | points 3:9d71317a4bcd70bc | in at 1000",
      CutOff + " | out 262144:f4f708ac52bd348c | points 11:b0776dbd98bd1446 | in at 32775",
      CutOff + " | out 262144:f4f708ac52bd348c | points 11:4208ca423b706ac9 | in at 32776",
      CutOff + " | out 360448:a4ae2c8529035d42 | points 16:84a6521ca936a904 | in at 65545",
      CutOff + " | out 1048576:384bc3351f14ed3c | points 49:eae2bb267e033e61 | in at 462085",
      CutOff + " | out 1048576:384bc3351f14ed3c | points 48:f18b1bc1e36f9738 | in at 462086",
  };
  for (size_t k = 0; k < Kinds().size(); ++k) {
    const Bytes& packed = PackedKind(k);
    const size_t cuts[] = {8,         9,         1000,
                           8 + 32767, 8 + 32768, 8 + 65537,
                           packed.size() - 2,    packed.size() - 1};
    for (size_t c = 0; c < 8; ++c) {
      const Bytes stream(packed.begin(), packed.begin() + std::min(cuts[c], packed.size()));
      EXPECT_EQ(Observe(Operation::Decompress, stream).Line(), expected[8 * k + c])
          << Kinds()[k].name << ", cut to " << cuts[c] << " bytes";
    }
  }
}

TEST(LzhGolden, InputThatEndsAndGoesOn) {
  // Once a block read has found the end, the body has ended: what later
  // reads bring counts as past it.
  const std::string expected[] = {
      CutOff + " | out 0:cbf29ce484222325 | points 2:5efcd088b84467e5 | in at 32776",
      CutOff + " | out 131072:01558a56072789f9 | points 7:6577aa45ef747cd6 | in at 65544",
      CutOff + " | out 262144:cfb946fb734d66b7 | points 12:ff6765beb2dd714a | in at 98312",
  };
  for (int nth = 1; nth <= 3; ++nth) {
    HiccupStream in(PackedKind(0), nth);
    EXPECT_EQ(Observe(Operation::Decompress, in).Line(), expected[nth - 1])
        << "end at read " << nth;
  }
}

TEST(LzhGolden, DecompressNoise) {
  // Any bits decode to something: matches into never-written window bytes,
  // a last match running past the size (whose block is then not written), or
  // a body that ends too soon.
  const std::string expected[] = {
      "ok 0 | out 0:cbf29ce484222325 | points 2:083a95b1a22dd565 | in at 8",
      "ELzrw1Exception: Lzrw1 (LZH decompression) : Original and compressed sizes do not match ! "
      "| out 0:cbf29ce484222325 | points 1:49dbf5a3697df84d | in at 32776",
      "ok 100000 | out 100000:cc9bd818a0f74202 | points 6:df015f8f2b1aae81 | in at 32776",
      CutOff + " | out 1081344:c335fd972561579c | points 42:eab6c93151ebda80 | in at 200008",
  };
  const int32_t sizes[] = {0, 777, 100000, 5000000};
  for (size_t k = 0; k < 4; ++k) {
    const Bytes noise = testing::RandomBytes(200000, 9 + static_cast<uint32_t>(k));
    const Bytes stream = testing::LzhStream(sizes[k], noise);
    EXPECT_EQ(Observe(Operation::Decompress, stream).Line(), expected[k]) << sizes[k] << " bytes";
  }
}

}  // namespace
}  // namespace stowaway
