// The component's LZRW1/KH block loops, driven through Compress in Fast mode
// and Decompress: the body they write and read, their counts and progress
// points, and the decoder's messages.
#include <gtest/gtest.h>

#include <filesystem>

#include "compression/LZRW1.h"
#include "compression/LZRW1KH.h"
#include "compression/bytes.h"
#include "tests/compression/progress_recorder.h"
#include "tests/support/faults.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::FaultKind;
using testing::FaultOp;
using testing::FaultyFiles;
using testing::FaultyStream;
using testing::ProgressPoints;
using testing::ProgressRecorder;
using testing::TempDir;

class LzrwBlockLoops : public ::testing::Test {
 protected:
  // The packed stream of input, header included.
  Bytes Pack(const Bytes& input) {
    TMemoryStream in(input);
    TMemoryStream out;
    UseStreams(in, out);
    codec.CompressMode = TCompressMode::Fast;
    codec.Compress();
    return out.Data();
  }

  void UseStreams(TStream& in, TStream& out) {
    codec.UseStream = true;
    codec.InputStream = &in;
    codec.OutputStream = &out;
  }

  std::string MessageOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const Exception& e) {
      return std::string(e.ClassName()) + ": " + e.Message();
    }
    return "(no exception)";
  }

  Tlzrw1 codec;
};

Bytes Packed(int32_t size, const Bytes& body) {
  Bytes stream(8 + body.size());
  StoreLE32(stream.data(), LzrwIdentifier);
  StoreLE32(stream.data() + 4, static_cast<uint32_t>(size));
  std::copy(body.begin(), body.end(), stream.begin() + 8);
  return stream;
}

// The coded lengths of the blocks of a body, which must frame it exactly.
std::vector<uint16_t> BlockLengths(const Bytes& body) {
  std::vector<uint16_t> lengths;
  for (size_t at = 0; at < body.size();) {
    EXPECT_LE(at + 2, body.size());
    lengths.push_back(LoadLE16(body.data() + at));
    at += 2u + lengths.back();
    EXPECT_LE(at, body.size());
  }
  return lengths;
}

Bytes Block(const Bytes& coded) {
  Bytes framed(2 + coded.size());
  StoreLE16(framed.data(), static_cast<uint16_t>(coded.size()));
  std::copy(coded.begin(), coded.end(), framed.begin() + 2);
  return framed;
}

const std::string CorruptBlock = "ELzrw1Exception: Lzrw1 (decompression LZRW1/KH) : corrupt compressed block !";

TEST_F(LzrwBlockLoops, RoundTripsThroughBothLoops) {
  const std::vector<std::pair<const char*, Bytes (*)(size_t, uint32_t)>> kinds = {
      {"text", testing::TextLike}, {"random", testing::RandomBytes}, {"repetitive", testing::Repetitive}};
  for (const auto& [name, make] : kinds) {
    for (int32_t size : {0, 1, 32767, 32768, 32769, 65536}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(size));
      const Bytes input = make(static_cast<size_t>(size), 11);
      const Bytes packed = Pack(input);
      const Bytes body(packed.begin() + 8, packed.end());
      EXPECT_EQ(BlockLengths(body).size(), static_cast<size_t>(size / 32768 + 1));
      if (size % 32768 == 0) {
        EXPECT_EQ(Bytes(body.end() - 3, body.end()), (Bytes{0x01, 0x00, 0x80}));
      }

      TMemoryStream in(packed);
      TMemoryStream out;
      UseStreams(in, out);
      EXPECT_EQ(codec.Decompress(), size);
      EXPECT_EQ(out.Data(), input);
      EXPECT_EQ(codec.BytesRead, static_cast<int32_t>(packed.size()));
      EXPECT_EQ(codec.BytesWritten, size);
    }
  }
}

TEST_F(LzrwBlockLoops, ProgressPointAfterEveryBlock) {
  ProgressRecorder recorder(codec);
  const Bytes packed = Pack(testing::RandomBytes(65536, 5));
  const int32_t total = static_cast<int32_t>(packed.size());
  ASSERT_EQ(total, 8 + 2 * 32771 + 3);
  EXPECT_EQ(recorder.points,
            (ProgressPoints{{32768, 8 + 32771}, {65536, 8 + 2 * 32771}, {65536, total}, {65536, total}}));

  recorder.points.clear();
  TMemoryStream in(packed);
  TMemoryStream out;
  UseStreams(in, out);
  codec.Decompress();
  EXPECT_EQ(recorder.points,
            (ProgressPoints{{8 + 32771, 32768}, {8 + 2 * 32771, 65536}, {total, 65536}, {total, 65536}}));
}

class LzrwUnpacking : public LzrwBlockLoops {
 protected:
  std::string Unpack(const Bytes& stream) {
    TMemoryStream in(stream);
    output = TMemoryStream();
    UseStreams(in, output);
    std::string message = MessageOf([&] { result = codec.Decompress(); });
    position = in.Position();
    return message;
  }

  TMemoryStream output;
  int32_t result = 0;
  int64_t position = 0;
};

TEST_F(LzrwUnpacking, ReadsExactlyItsBlocks) {
  const Bytes input = testing::TextLike(70000, 2);
  const Bytes packed = Pack(input);
  Bytes larger = testing::RandomBytes(1000, 1);
  larger.insert(larger.end(), packed.begin(), packed.end());
  larger.resize(larger.size() + 5000, 0xEE);

  TMemoryStream in(larger);
  TMemoryStream out;
  in.Seek(1000, SeekOrigin::Begin);
  UseStreams(in, out);
  EXPECT_EQ(codec.Decompress(), 70000);
  EXPECT_EQ(out.Data(), input);
  EXPECT_EQ(in.Position(), 1000 + static_cast<int64_t>(packed.size()));
  EXPECT_EQ(codec.BytesRead, static_cast<int32_t>(packed.size()));
}

TEST_F(LzrwUnpacking, SizeMismatchAfterAllBlocksAreWritten) {
  const Bytes input = testing::TextLike(40000, 3);
  const Bytes packed = Pack(input);
  const Bytes body(packed.begin() + 8, packed.end());
  for (int32_t size : {39999, 40001, 0, -1}) {
    EXPECT_EQ(Unpack(Packed(size, body)),
              "ELzrw1Exception: Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !")
        << size;
    EXPECT_EQ(output.Data(), input);
  }
}

TEST_F(LzrwUnpacking, BlockLengthsUpToTheBufferAreRead) {
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
  EXPECT_EQ(Unpack(Packed(29139, Block(coded))), "(no exception)");
  EXPECT_EQ(output.Data(), expected);

  coded.push_back(0);
  EXPECT_EQ(Unpack(Packed(29139, Block(coded))), CorruptBlock);
  EXPECT_EQ(position, 8 + 2) << "refused before the block is read";
}

TEST_F(LzrwUnpacking, CorruptBlocksAreRefused) {
  const Bytes full = Pack(testing::TextLike(32768, 4));
  const Bytes good_first(full.begin() + 8, full.end() - 3);
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"match before the block", Block({0x40, 0x80, 0x00, 0x00, 0x10})},
      {"run past the block",
       Block({0x40, 0xFF, 0xFF, 0x00, 0x0F, 0xEF, 0x5A, 0x00, 0x0F, 0xEF, 0x5A, 0x00, 0x0F, 0xEF, 0x5A, 0x00, 0x0F,
              0xEF, 0x5A, 0x00, 0x0F, 0xEF, 0x5A, 0x00, 0x0F, 0xEF, 0x5A, 0x00, 0x0F, 0xEF, 0x5A, 0x00, 0x0F, 0xEF,
              0x5A, 0x00, 0x00, 0x00, 0x5A})},
      {"item cut off", Block({0x40, 0x80, 0x00, 0x00, 0x00})},
      {"second block corrupt", [&] {
         Bytes body = good_first;
         const Bytes bad = Block({0x40, 0x80, 0x00, 0x12});
         body.insert(body.end(), bad.begin(), bad.end());
         return body;
       }()},
  };
  for (const auto& [what, body] : cases) {
    EXPECT_EQ(Unpack(Packed(32768, body)), CorruptBlock) << what;
  }
  EXPECT_EQ(output.Data(), testing::TextLike(32768, 4)) << "the blocks before it were written";
}

TEST_F(LzrwUnpacking, ShortReadsAndFailedWrites) {
  const Bytes input = testing::TextLike(40000, 5);
  const Bytes packed = Pack(input);
  for (size_t cut : {size_t{6}, size_t{9}, size_t{10}, size_t{100}, packed.size() - 1}) {
    EXPECT_EQ(Unpack(Bytes(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(cut))),
              "ELzrw1Exception: Compression Error, reading from input stream !")
        << cut;
  }
  TMemoryStream in(packed);
  TMemoryStream out;
  FaultyStream failing(out, {FaultOp::Write, 2, FaultKind::Short});
  UseStreams(in, failing);
  EXPECT_EQ(MessageOf([&] { codec.Decompress(); }), "ELzrw1Exception: Compression Error, writing to output stream !");
}

TEST_F(LzrwUnpacking, FileModeFailuresDeleteTheOutput) {
  TempDir dir;
  codec.InputFile = dir.File("in.pak");
  codec.OutputFile = dir.File("out.bin");
  testing::WriteFileBytes(codec.InputFile, Packed(4, Block({0x40, 0x80, 0x00, 0x00, 0x10})));
  FaultyFiles files;
  ScopedFileSystem scope(files);
  EXPECT_EQ(MessageOf([&] { codec.Decompress(); }), CorruptBlock);
  EXPECT_FALSE(std::filesystem::exists(codec.OutputFile));
  EXPECT_EQ(files.OpenCount(), 0u);
}

}  // namespace
}  // namespace stowaway
